// The player shell: start-up, content location and loading, the beat clock,
// the main loop and its end rules, shutdown.
//
// Life: SDL, mixer and font library up; a borderless window as wide as the
// desktop with a 16:9 drawing area; the loading screen; the content read
// record by record (one loading frame each); programs rebuilt and effects
// made; the optional final hold; every effect drawn once; the music started;
// then one graph evaluation per frame until the end beat passes, the window
// closes, Escape is released or the application is sent to the background.
#pragma once

// The program entry. Returns the process exit status. Load failures are
// thrown as exceptions for the caller to report.
int run_player(int argc, char** argv);
