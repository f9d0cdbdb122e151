#pragma once

class QtBrowser;
class QtNotifierWindow;

#include "platform/qt/viewer_channel.h"

// While the window is hidden its page gives its renderer back; it comes back on show.
void LetPageGoWhileHidden(QtNotifierWindow& window, QtBrowser& browser);

// Runs the viewer: the notification window and its page, driven over the channel. It ends
// when the channel closes, when the program ends, and on a termination signal.
int RunViewer(int channel);

// Runs the configuration window's preview: a page shown inside the program's pane, inert.
// It ends when the channel closes, when the program ends, and on a termination signal.
int RunPreview(int channel);
