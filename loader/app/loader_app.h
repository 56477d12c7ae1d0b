// The loader program's whole life: prepare the firmware, splash, check the
// prerequisite files, confirm, then the main window with one download.
#pragma once

namespace flashup::app {

class LoaderApp {
  public:
    // Runs the start-up in the working directory, modally, start to end.
    // Returns false: nothing is left for an event loop to do afterwards.
    bool startUp();
};

}  // namespace flashup::app
