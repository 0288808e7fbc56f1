#pragma once
// The application frame with its menu; returns when the frame has closed.
void Main();
