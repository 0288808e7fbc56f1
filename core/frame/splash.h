#pragma once
// The splash window shown over the frame when the program starts.
void SplashIt();
