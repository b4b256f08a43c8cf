// Replaced by the window class.
