// Single-point positioning from pseudoranges and broadcast records: iterated
// least squares for the receiver position and one clock offset per system,
// with the satellite clock, relativistic and Earth-rotation (Sagnac)
// corrections, the broadcast (Klobuchar) ionosphere where its parameters are
// known and a simple troposphere model. Plain C++, no Qt.
#ifndef QC_SPP_H
#define QC_SPP_H

#include <vector>

#include "orbit.h"

namespace qc {

struct Pseudorange {
    char system;        // RINEX letter
    int prn;
    double range;       // metres, on the system's first civil signal (L1/E1/B1/G1)
};

struct Position {
    double xyz[3];      // ECEF metres
    double clock;       // receiver clock offset to GPS time, metres
    int satellites;     // satellites used
    double pdop;
};

struct Klobuchar {
    bool known = false;
    double alpha[4];
    double beta[4];
};

// Position at receive time t from one epoch's pseudoranges; false when fewer
// satellites than unknowns have records or the solution does not converge or
// its residuals are implausible (a wrong pseudorange is rejected, not used).
bool solvePosition(const EphemerisStore &store, GpsSeconds t, const std::vector<Pseudorange> &ranges,
                   const Klobuchar &iono, Position *out);

// Collects epoch solutions over a file and gives a robust mean and the spread.
class PositionAverage {
public:
    void add(const Position &p);
    bool valid() const;                 // at least one solution
    void mean(double xyz[3]) const;     // median of each coordinate
    double spread() const;              // RMS 3-D distance of the solutions to the mean, m
    int solutions() const;
private:
    std::vector<Position> m_solutions; // bounded: thinned so that a day of 1 Hz epochs keeps at most a few thousand
    int m_count = 0;                   // solutions added
    int m_stride = 1;                  // every m_stride-th solution is kept
};

} // namespace qc

#endif
