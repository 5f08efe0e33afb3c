// The program: the application object and its three windows, created in a
// fixed order, and the main loop.
#pragma once

#include <memory>

class Host;
class Platform;
class TApplication;

class StartProgram {
 public:
  // Initialises the application, sets its title to "orbilex CD", creates the
  // start window (the main window) and then the two hidden prompts.
  StartProgram(Platform& platform, Host& host);
  ~StartProgram();
  StartProgram(const StartProgram&) = delete;
  StartProgram& operator=(const StartProgram&) = delete;

  // Runs the main loop until the start window closes. Returns the exit code.
  int Run();

 private:
  Host& host_;
  std::unique_ptr<TApplication> application_;
};
