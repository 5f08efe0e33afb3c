// The core's route to the operating system: the platform handed over at
// start-up, held once for the whole run. The port bank, the serial state,
// the detection stages and the start window reach the system through it.
#pragma once

class Platform;

// Makes `platform` the one the core uses; nullptr when the run is over.
void SetSystem(Platform* platform);
// The platform set at start-up. Only to be called while one is set.
Platform& System();
