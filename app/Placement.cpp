#include "app/Placement.h"

namespace qm {

TFormPosition FormPosition(int screenWidth, int screenHeight, int frameWidth, int frameHeight) {
    // Integer division truncates toward zero, also for negative differences.
    return {(screenWidth - frameWidth) / 2, (screenHeight - frameHeight) / 2 - 150};
}

}  // namespace qm
