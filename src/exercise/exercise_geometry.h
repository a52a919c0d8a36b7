#pragma once
// The Exercise screen's rows, in twips, as the drawing, the scroll bar and the typing engine's
// view following all count them.

namespace ExerciseGeometry {

// From one text row to the next, and from one input row to the next.
inline constexpr int kLinePitch = 600;

// Screen rows 0 to 11 are in view; a cursor whose row falls below them makes the view follow.
inline constexpr int kLastVisibleRow = 11;

// Typing pages the view on by eleven lines: the row past the last visible one becomes row 1,
// under the line just finished.
inline constexpr int kPageTwips = kLastVisibleRow * kLinePitch;

} // namespace ExerciseGeometry
