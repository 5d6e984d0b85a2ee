// The process entry: hands over to the game's WinMain and returns its result (-1 becomes status 255).
#include "frame_loop.h"

int main() { return WinMain(nullptr, nullptr, nullptr, 1); }
