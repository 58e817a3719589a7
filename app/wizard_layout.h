#pragma once
// The window's frame geometry, in pixels at 96 dots per inch.
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace ostrel::layout {

inline constexpr QPoint kWindowPosition{368, 173};
inline constexpr QSize kClientSize{622, 424};
inline constexpr QRect kPageControl{192, 0, 417, 345};
// Where the pages' content area lies inside the container: below the band a tab strip would take.
inline constexpr QMargins kPageContentMargins{4, 24, 4, 4};
// On resize the container keeps its width and its distances to the right and bottom edges.
inline constexpr int kPageControlRightGap = 622 - (192 + 417);
inline constexpr int kPageControlBottomGap = 424 - 345;

}  // namespace ostrel::layout
