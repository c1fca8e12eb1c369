// The room every live chart leaves around its plot.
#pragma once

namespace preview::margins {

inline constexpr int kLeft = 64;  // value labels
inline constexpr int kRight = 10;
inline constexpr int kTitle = 18;
inline constexpr int kTimeLabel = 16;

}  // namespace preview::margins
