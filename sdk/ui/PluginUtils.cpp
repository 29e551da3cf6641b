#include "ui/PluginUtils.h"

bool errorFlag = false;
bool hideErrorFlag = false;
bool inBackground = false;

void InitUtils() {
  errorFlag = false;
  hideErrorFlag = false;
  inBackground = false;
}

void FinishUtils() {}
