#include "core/dictionary/dictionary.h"

void DctInit() {}
void DctKill() {}
void installDictionaryComponents() {}
