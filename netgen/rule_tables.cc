// Netgen's Meshing2::LoadRules and Meshing2::~Meshing2 (libsrc/meshing/
// parser2.cpp and meshing2.cpp, LGPL-2.1, like the rest of Netgen), changed
// so that the built-in rule tables are parsed once per process, not once per
// mesh.
//
// Every Meshing2, one per domain and meshing pass, parses its rules from the
// text tables compiled into Netgen (triangle or quad rules) into netrule
// objects, and its destructor deletes them: on a small face that parsing was
// a tenth of the worker's time. A rule's data never changes once parsed;
// the one thing meshing writes into a rule, its transformed free zone
// (netrule::SetFreeZoneTransformation), is set afresh before each use. So
// the rules parsed for the first mesh serve every later one, exactly as
// freshly parsed rules would. Netgen's meshers run one at a time (the
// worker holds a lock around every call into Netgen), so no two meshes use
// the rules at once.
//
// Rules read from a file (Netgen itself never asks for that in 2-D) are
// parsed and deleted as Netgen does. The shared tables live as long as the
// process.
//
// libmesh.so calls LoadRules and libgeom2d.so the destructor through their
// procedure linkage tables, so these definitions, linked into the
// executable (netgen/CMakeLists.txt forces them in), are the ones reached.
#include <mystdlib.h>

#include <meshing.hpp>

namespace netgen
{

  extern const char * triarules[];
  extern const char * quadrules[];

  namespace
  {
    void ParseRules (istream & ist, Array<netrule*> & rules)
    {
      char buf[256];
      while (!ist.eof())
        {
          buf[0] = 0;
          ist >> buf;

          if (strcmp (buf, "rule") == 0)
            {
              netrule * rule = new netrule;
              rule -> LoadRule(ist);
              rules.Append (rule);
            }
        }
    }

    // The built-in tables, parsed on first use: [0] triangles, [1] quads.
    Array<netrule*> * built_in_rules[2] = { nullptr, nullptr };

    Array<netrule*> & BuiltInRules (bool quad)
    {
      Array<netrule*> *& table = built_in_rules[quad ? 1 : 0];
      if (!table)
        {
          string text;
          for (const char ** hcp = quad ? quadrules : triarules; *hcp; hcp++)
            text.append (*hcp);
          istringstream ist (text);
          table = new Array<netrule*>;
          ParseRules (ist, *table);
        }
      return *table;
    }

    bool IsBuiltInRule (const netrule * rule)
    {
      for (const Array<netrule*> * table : built_in_rules)
        if (table)
          for (int i = 0; i < table->Size(); i++)
            if ((*table)[i] == rule)
              return true;
      return false;
    }
  }


  void Meshing2 :: LoadRules (const char * filename, bool quad)
  {
    if (filename)
      {
        ifstream ist (filename);
        if (!ist.good())
          {
            cerr << "Rule description file " << filename << " not found" << endl;
            exit (1);
          }
        ParseRules (ist, rules);
        return;
      }

    PrintMessage (3, quad ? "load internal quad rules" : "load internal triangle rules");
    const Array<netrule*> & table = BuiltInRules (quad);
    for (int i = 0; i < table.Size(); i++)
      rules.Append (table[i]);
  }


  Meshing2 :: ~Meshing2 ()
  {
    delete adfront;
    for (int i = 0; i < rules.Size(); i++)
      if (!IsBuiltInRule (rules[i]))
        delete rules[i];
  }

}
