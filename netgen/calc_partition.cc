// Netgen's CalcPartition (libsrc/geom2d/genmesh2d.cpp, LGPL-2.1, like the
// rest of Netgen) as later Netgen versions have it: the boundary sampling of
// upstream commit dab18a1c ("optimize CalcPartition() and
// PartitionBoundary()", first released in 6.2.2009), put into the function as
// Netgen 6.2.1905 ships it, with 6.2.1905's signature and array type.
//
// CalcPartition places a spline's boundary nodes where the mesh-size field
// says. 6.2.1905 samples that field at a fixed 10,000 points along every
// spline, each a LocalH::GetH lookup: 40,000 lookups for a square, 20
// million for a circle drawn with 2,000 segments, the largest single share
// of a small mesh's time. The newer code starts at 4 samples and takes four
// times as many, up to 16,384, while the grading limit still changes the
// size by more than a factor of two between neighbouring samples, plus one
// step more. One change of ours: it also samples at least as finely as the
// size at the spline's ends, which the newer code alone can miss (a segment
// meeting a far shorter one got nodes as if the short one were not there,
// and the front then never closed). Boundary nodes can move by a fraction
// of the local size against 6.2.1905's, so meshes differ from those of the
// shipped function, not in quality.
//
// libgeom2d.so calls CalcPartition (from Partition) through its procedure
// linkage table, so this definition, linked into the executable
// (netgen/CMakeLists.txt forces it in), is the one its GenerateMesh reaches.
// No Netgen header declares the function, so it is declared here exactly as
// the library exports it.
//
// A second change of ours: while the mesher keeps the boundary as given
// (netgen/kept_boundary.h), a spline's partition is just its two ends, so
// each spline becomes exactly one boundary edge. The size field along it is
// left as PartitionBoundary restricted it (to the spline's own length among
// others), so the interior still grades down to short splines.
#include <meshing.hpp>
#include <geometry2d.hpp>

#include "netgen/kept_boundary.h"

namespace netgen
{

  void CalcPartition (const SplineSegExt & spline,
		      MeshingParameters & mp, Mesh & mesh,
		      double elto0, Array<double> & points);

  void CalcPartition (const SplineSegExt & spline, 
		      // double l, 
		      MeshingParameters & mp, Mesh & mesh, 
		      // double h, double h1, double h2, double hcurve, 
		      double elto0, Array<double> & points)
  {
    double fperel, oldf, f;

    if (mesh::BoundaryKeptAsGiven())
      {
        points.SetSize (0);
        points.Append (0);
        points.Append (spline.Length());
        return;
      }

    int n = 1;
    Array<Point<2> > xi;
    Array<double> hi;

    // do one extra step
    int not_fine_enough = 2;

    // The samples lie between the ends, and GetH is constant over boxes,
    // so a size far smaller at an end (a tiny segment meeting this one)
    // can fall between the first sample and the end unseen. Sample at
    // least as finely as the smaller size at the ends, up to the limit.
    double len_ends = spline.Length();
    Point<2> start = spline.GetPoint (0), end = spline.GetPoint (1);
    double hends = min (mesh.GetH (Point<3> (start(0), start(1), 0)),
                        mesh.GetH (Point<3> (end(0), end(1), 0)));

    while((not_fine_enough || len_ends / n > hends) && n < 10000)
    {
      not_fine_enough--;
      n*=4;

      xi.SetSize(n);
      hi.SetSize(n);

      for (int i = 0; i < n; i++)
      {
        xi[i] = spline.GetPoint ( (i+0.5) / n );
        hi[i] = mesh.GetH (Point<3> (xi[i](0), xi[i](1), 0));
      }

      // limit slope
      double gradh = min(1/elto0,mp.grading);
      for (int i = 0; i < n-1; i++)
      {
        double hnext = hi[i] + gradh * (xi[i+1]-xi[i]).Length();
        if(hnext > 2*hi[i])
          not_fine_enough = 2;
        hi[i+1] = min(hi[i+1], hnext);
      } 
      for (int i = n-1; i > 1; i--)
      {
        double hnext = hi[i] + gradh * (xi[i-1]-xi[i]).Length();
        if(hnext > 2*hi[i])
          not_fine_enough = 2;
        hi[i-1] = min(hi[i-1], hnext);
      }
    }

    points.SetSize (0);

    double len = spline.Length();
    double dt =  len / n;

    double sum = 0;
    for (int i = 1; i <= n; i++)
      {
	// double t = (i-0.5)*dt;
	double fun = hi[i-1];
	sum += dt / fun;
      }

    int nel = int (sum+0.5);
    if (nel == 0) nel = 1;
    fperel = sum / nel;

    points.Append (0);

    int i = 1;
    oldf = 0;

    for (int j = 1; j <= n && i < nel; j++)
      {
	// double t = (j-0.5)*dt;
	double fun = hi[j-1];

	f = oldf + dt / fun;

	while (i * fperel < f && i < nel)
	  {
	    points.Append ( dt * (j-1) +  (i * fperel - oldf) * fun);
	    i++;
	  }
	oldf = f;
	// t += dt;
      }
    points.Append (len);
  }

}
