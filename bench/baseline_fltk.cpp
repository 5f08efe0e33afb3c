// The floor of the Linux program's start-up, for bench/run.sh: the least an
// FLTK program of its kind does before its window is on screen, built and
// linked as the program is. One borderless window of the start window's
// size with one bold label, whose font FLTK loads when it first draws. The
// display is opened as the program opens it: FLTK's own way would first take
// the character set of the environment's locale, and with UTF-8 Xlib then
// reads a compose table several times larger (about 10 ms here).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 1;
  fl_open_display(display);
  Fl_Window window(459, 280, "baseline");
  window.border(0);
  Fl_Box label(100, 64, 229, 15, "orbilex");
  label.labelfont(FL_BOLD);
  window.end();
  window.show();
  return Fl::run();
}
