// Optional fast path for rows of constant latitude, as the reprojection loops visit them.
//
// A projection whose Forward spends most of its time on the latitude alone (an iteration on an
// auxiliary angle, say) also derives from RowForward: PrepareRow does the latitude's work once per
// row, ForwardInRow the rest per pixel. Together they must give bit-for-bit the results of Forward.
// Callers find the interface with dynamic_cast; module and composite projections need not have it.
#ifndef KARTOVEL_PROJECTION_ROW_FORWARD_H_
#define KARTOVEL_PROJECTION_ROW_FORWARD_H_

#include <cstddef>

namespace Projection {

class RowForward {
 public:
  // What PrepareRow leaves for ForwardInRow; its meaning is the projection's own.
  struct Row {
    double value[4];
    int status;  // non-zero: no point of this latitude has an image
  };

  virtual ~RowForward() = default;
  virtual void PrepareRow(double latitude, Row* row) const = 0;
  // Same result and outputs as Forward(latitude, longitude, x, y) for the prepared latitude.
  virtual int ForwardInRow(const Row& row, double longitude, double* x, double* y) const = 0;
  // ForwardInRow for `count` longitudes, its result in status[i]. Projections with a cheap step
  // per point override it with a loop that makes no call per point.
  virtual void ForwardRow(const Row& row, const double* longitudes, std::size_t count, double* x,
                          double* y, int* status) const {
    for (std::size_t i = 0; i < count; ++i) {
      status[i] = ForwardInRow(row, longitudes[i], &x[i], &y[i]);
    }
  }
};

// A projection whose Forward is PrepareRow followed by ForwardInRow, so that the row fast path
// and Forward agree bit for bit by construction. Base is MapProject or one of its subclasses.
template <class Base>
class RowProjection : public Base, public RowForward {
 public:
  int Forward(double latitude, double longitude, double* x, double* y) final {
    Row row;
    PrepareRow(latitude, &row);
    return ForwardInRow(row, longitude, x, y);
  }
};

}  // namespace Projection

#endif  // KARTOVEL_PROJECTION_ROW_FORWARD_H_
