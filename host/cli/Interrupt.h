// Ctrl-C: the first interrupt asks the render to stop (the plug-in hears it
// as a cancelled "STAT"); a second one ends the program at once.
#ifndef PLMHOST_INTERRUPT_H
#define PLMHOST_INTERRUPT_H

void InstallInterruptHandler();
bool InterruptRequested();

#endif
