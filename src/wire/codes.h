#pragma once

// The widths of the codes and numbers that travel between client and server, one source for
// both: the client pads what it sends to them, the server refuses what exceeds them.

#include <QString>

namespace wire {

inline constexpr int kBranchCodeWidth = 4;       // CDFILIAL, also a central's code
inline constexpr int kServiceCodeWidth = 5;      // CDSERVFILI
inline constexpr int kGroupingCodeWidth = 10;    // CDGRUPFILI
inline constexpr int kServiceGroupCodeWidth = 3; // CDGRUPSERV
inline constexpr int kMenuTypeCodeWidth = 10;    // CDTIPOCARD
inline constexpr int kProductCodeWidth = 10;     // CDPRODUTO
inline constexpr int kOperatorCodeWidth = 20;    // CDOPERADOR
// A branch-plus-service key of the service search.
inline constexpr int kBranchServiceKeyWidth = kBranchCodeWidth + kServiceCodeWidth;

// Numbers the server hands out: a consolidated plan (NRCONSPLAN) and a stored list (NRLISTA).
inline constexpr int kNumberWidth = 10;

// The plan preparation answers its plan number, or in its place a text saying why it refused.
inline bool isPlanNumber(const QString &answer)
{
    return answer.size() == kNumberWidth;
}

} // namespace wire
