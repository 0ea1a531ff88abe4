#pragma once
// Where the main window goes on the screen.

namespace qm {

struct TFormPosition {
    int left = 0;
    int top = 0;
};

// Centred horizontally and 150 pixels above the vertical centre, given the
// screen's size and the window's outer (frame) size. Not clamped to the
// screen: on a low screen the top is negative.
TFormPosition FormPosition(int screenWidth, int screenHeight, int frameWidth, int frameHeight);

}  // namespace qm
