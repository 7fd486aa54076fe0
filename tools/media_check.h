// Tries every sound, picture, font and model of a demo the way playback will
// use it, so the demo maker learns before the party what will stay silent,
// blank or unseen: the player itself keeps quiet about most of these.
#pragma once

#include <string>
#include <vector>

class Demo;

// One line per resource that will not work, naming it and, where the library
// says, why. Opens (and closes again) the mixer on SDL's dummy driver and the
// font library; draws nothing, needs no display.
std::vector<std::string> media_warnings(const Demo& demo);
