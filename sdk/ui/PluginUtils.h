// Dialog utilities shared by plug-ins: the alert flags and their lifecycle.
#ifndef QVKIT_UI_PLUGINUTILS_H
#define QVKIT_UI_PLUGINUTILS_H

// Alert state: errorFlag is set once an error alert was shown, hideErrorFlag
// suppresses further error alerts, inBackground suppresses alerts altogether.
extern bool errorFlag;
extern bool hideErrorFlag;
extern bool inBackground;

// Clears the three alert flags.
void InitUtils();
// The utilities' end-of-life hook; nothing to release.
void FinishUtils();

#endif
