// Netgen's T_ADTree<6,INDEX> and ADTree3 (libsrc/gprim/adtree.cpp, LGPL-2.1,
// like the rest of Netgen): insertion, deletion and the box search, as
// Netgen 6.2.1905 ships them, with one change: each node counts the live
// entries of its subtree, and the search skips a subtree that has none.
//
// These are the search trees of the 2-D advancing front (AdFront2): every
// front line's bounding box goes into a T_ADTree<6> through BoxTree<3>,
// every front point into an ADTree3, and each meshing trial asks both for
// what lies near its base line. Deleting an entry only marks its node dead;
// the node stays in the tree and is reused only when a later insertion
// happens to pass it. As the front sweeps across a domain the trees fill
// with dead nodes: on a circle drawn with 2,000 segments the line searches
// walked 243 million nodes to find 30 million lines, 85 % of them dead, and
// the two searches were a third of the mesher's time.
//
// Netgen keeps a child count in every node but does not keep it right (an
// insertion into a reused node does not count, its deletion does), so it
// can not tell an empty subtree. Here `nchilds` is the number of live
// entries in the node's subtree, the node itself included, kept by
// insertion and deletion alike. The trees are built exactly as Netgen builds
// them and searched in the same order, so every search returns the same
// entries in the same order and meshes come out byte for byte as before.
//
// libmesh.so calls all six functions through its procedure linkage table,
// even from BoxTree<3> and Point3dTree, which wrap the two trees in the
// same source file, so these definitions, linked into the executable
// (netgen/CMakeLists.txt forces them in), are the ones every tree uses, from
// the first node on; the constructors leave the root with a count of 0,
// which is right for an empty tree.
//
// The search stacks are Netgen's fixed arrays (a static one for points),
// used without a bound check; halving cells of float coordinates keeps the
// trees shallower than they are long, but a stack here grows when full
// rather than trust that, and the point search's is no longer shared by
// every tree in the process.
#include <mystdlib.h>

#include <meshing.hpp>

namespace netgen
{

  namespace
  {
    // One pending subtree of a search, and the direction it splits.
    struct SearchFrame
    {
      int dir;
      T_ADTreeNode<6,INDEX> * node;
    };
  }


  template <>
  void T_ADTree<6,INDEX> :: Insert (Point<6> p, INDEX pi)
  {
    const int dim = 6;
    T_ADTreeNode<dim,INDEX> *node(NULL);
    T_ADTreeNode<dim,INDEX> *next;
    int dir;
    int lr(0);

    Point<dim> bmin = cmin;
    Point<dim> bmax = cmax;

    next = root;
    dir = 0;
    while (next)
      {
	node = next;

	if (IsInvalid(node->pi))
	  {
            node->data = p;
	    node->pi = pi;
	    ela[pi] = node;

            for ( ; node; node = node->father)
              node->nchilds++;
	    return;
	  }

	if (node->sep > p[dir])
	  {
	    next = node->left;
	    bmax(dir) = node->sep;
	    lr = 0;
	  }
	else
	  {
	    next = node->right;
	    bmin(dir) = node->sep;
	    lr = 1;
	  }

	dir++;
	if (dir == dim) dir = 0;
      }


    next = new T_ADTreeNode<dim,INDEX>;
    next->data = p;
    next->pi = pi;
    next->sep = (bmin[dir] + bmax[dir]) / 2;
    ela[pi] = next;

    if (lr)
      node->right = next;
    else
      node->left = next;
    next -> father = node;

    for (node = next; node; node = node->father)
      node->nchilds++;
  }

  template <>
  void T_ADTree<6,INDEX> :: DeleteElement (INDEX pi)
  {
    T_ADTreeNode<6,INDEX> * node = ela[pi];
    ela.Delete(pi);

    SetInvalid(node->pi);

    for ( ; node; node = node->father)
      node->nchilds--;
  }

  template <>
  void T_ADTree<6,INDEX> :: GetIntersecting (Point<6> bmin, Point<6> bmax,
                                            Array<INDEX> & pis) const
  {
    const int dim = 6;
    ArrayMem<SearchFrame,10000> stack(10000);
    pis.SetSize(0);

    stack[0].node = root;
    stack[0].dir = 0;
    int stacks = 0;

    while (stacks >= 0)
      {
	T_ADTreeNode<dim,INDEX> * node = stack[stacks].node;
	int dir = stack[stacks].dir;

	stacks--;
	if (!IsInvalid(node->pi))
	  {
            bool found = true;
            for (int i = 0; i < dim/2; i++)
              if (node->data[i] > bmax[i])
                found = false;
            for (int i = dim/2; i < dim; i++)
              if (node->data[i] < bmin[i])
                found = false;
            if (found)
              pis.Append (node->pi);
	  }

	int ndir = (dir+1) % dim;

        if (stacks + 2 >= stack.Size())
          stack.SetSize (2 * stack.Size());
	if (node->left && node->left->nchilds > 0 && bmin[dir] <= node->sep)
	  {
	    stacks++;
	    stack[stacks].node = node->left;
	    stack[stacks].dir = ndir;
	  }
	if (node->right && node->right->nchilds > 0 && bmax[dir] >= node->sep)
	  {
	    stacks++;
	    stack[stacks].node = node->right;
	    stack[stacks].dir = ndir;
	  }
      }
  }


  void ADTree3 :: Insert (const float * p, int pi)
  {
    ADTreeNode3 *node(NULL);
    ADTreeNode3 *next;
    int dir;
    int lr(0);

    float bmin[3];
    float bmax[3];

    memcpy (bmin, cmin, 3 * sizeof(float));
    memcpy (bmax, cmax, 3 * sizeof(float));

    next = root;
    dir = 0;
    while (next)
      {
	node = next;

	if (node->pi == -1)
	  {
	    memcpy (node->data, p, 3 * sizeof(float));
	    node->pi = pi;

	    if (ela.Size() < pi+1)
	      ela.SetSize (pi+1);
	    ela[pi] = node;

            for ( ; node; node = node->father)
              node->nchilds++;
	    return;
	  }

	if (node->sep > p[dir])
	  {
	    next = node->left;
	    bmax[dir] = node->sep;
	    lr = 0;
	  }
	else
	  {
	    next = node->right;
	    bmin[dir] = node->sep;
	    lr = 1;
	  }

	dir++;
	if (dir == 3)
	  dir = 0;
      }


    next = new ADTreeNode3;
    memcpy (next->data, p, 3 * sizeof(float));
    next->pi = pi;
    next->sep = (bmin[dir] + bmax[dir]) / 2;

    if (ela.Size() < pi+1)
      ela.SetSize (pi+1);
    ela[pi] = next;

    if (lr)
      node->right = next;
    else
      node->left = next;
    next -> father = node;

    for (node = next; node; node = node->father)
      node->nchilds++;
  }

  void ADTree3 :: DeleteElement (int pi)
  {
    ADTreeNode3 * node = ela[pi];

    node->pi = -1;

    for ( ; node; node = node->father)
      node->nchilds--;
  }

  void ADTree3 :: GetIntersecting (const float * bmin,
				   const float * bmax,
				   Array<int> & pis) const
  {
    ArrayMem<ADTreeNode3*,1000> stack(1000);
    ArrayMem<int,1000> stackdir(1000);
    ADTreeNode3 * node;
    int dir, stacks;

    pis.SetSize(0);

    stack.Elem(1) = root;
    stackdir.Elem(1) = 0;
    stacks = 1;

    while (stacks)
      {
	node = stack.Get(stacks);
	dir = stackdir.Get(stacks);
	stacks--;

	if (node->pi != -1)
	  {
	    if (node->data[0] >= bmin[0] && node->data[0] <= bmax[0] &&
		node->data[1] >= bmin[1] && node->data[1] <= bmax[1] &&
		node->data[2] >= bmin[2] && node->data[2] <= bmax[2])

	      pis.Append (node->pi);
	  }


	int ndir = dir+1;
	if (ndir == 3)
	  ndir = 0;

        if (stacks + 2 >= stack.Size())
          {
            stack.SetSize (2 * stack.Size());
            stackdir.SetSize (stack.Size());
          }
	if (node->left && node->left->nchilds > 0 && bmin[dir] <= node->sep)
	  {
	    stacks++;
	    stack.Elem(stacks) = node->left;
	    stackdir.Elem(stacks) = ndir;
	  }
	if (node->right && node->right->nchilds > 0 && bmax[dir] >= node->sep)
	  {
	    stacks++;
	    stack.Elem(stacks) = node->right;
	    stackdir.Elem(stacks) = ndir;
	  }
      }
  }

}
