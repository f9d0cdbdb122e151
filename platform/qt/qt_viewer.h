#pragma once

class QApplication;
class QtBrowser;
class QtNotifierWindow;

// Names the descriptor of the viewer's end of its channel in the environment of the viewer
// the program starts (not a command-line option: the program reads none of its user's).
inline constexpr char kViewerChannelVariable[] = "TAVORIN_VIEWER_CHANNEL";

// When this process is the viewer the program started, the descriptor of its channel to the
// program, else -1. The variable alone does not make a viewer: the descriptor must be a
// socket whose other end is held by this process's parent. Removes the variable either way,
// so that nothing started from here inherits it. Call before QApplication.
int ViewerChannelFromEnvironment();

// While the window is hidden its page gives its renderer back; it comes back on show.
void LetPageGoWhileHidden(QtNotifierWindow& window, QtBrowser& browser);

// Runs the viewer: the notification window and its page, driven over the channel. It ends
// when the channel closes, when the program ends, and on a termination signal.
int RunViewer(QApplication& app, int channel);
