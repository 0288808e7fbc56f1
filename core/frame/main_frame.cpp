#include "core/frame/main_frame.h"

void Main() {}
