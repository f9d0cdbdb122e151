#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QLocalSocket;
class QProcess;

// One end of the local channel between the program and its viewer: each message is a line
// of words, the first naming it; text arguments are percent-encoded.
class ViewerChannel final : public QObject {
    Q_OBJECT
  public:
    using Message = QList<QByteArray>;
    // Takes over descriptor, a connected stream socket.
    ViewerChannel(int descriptor, QObject* parent);

    void Send(const Message& message);
    // Sends what is queued and closes; Ended is not called for it.
    void Close();
    bool IsOpen() const;

    static QByteArray Text(const QString& text) { return text.toUtf8().toPercentEncoding(); }
    static QString Text(const QByteArray& word) {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(word));
    }

    std::function<void(const Message&)> Received;
    // The other end is gone (ended, crashed or closed its end).
    std::function<void()> Ended;

  private:
    void ReadLines();

    QLocalSocket* socket_;
    bool closing_ = false;
};

// Names the descriptor of the viewer's end of its channel in the environment of the viewer
// the program starts (not a command-line option: the program reads none of its user's).
inline constexpr char kViewerChannelVariable[] = "TAVORIN_VIEWER_CHANNEL";

// When this process is the viewer the program started, the descriptor of its channel to the
// program, else -1. The variable alone does not make a viewer: the descriptor must be a
// socket whose other end is held by this process's parent. Removes the variable either way,
// so that nothing started from here inherits it. Call before QApplication.
int ViewerChannelFromEnvironment();

// The viewer is started for one of two roles, named in its environment.
inline constexpr char kViewerRoleVariable[] = "TAVORIN_VIEWER_ROLE";
inline constexpr char kViewerRoleWindow[] = "window";
inline constexpr char kViewerRolePreview[] = "preview";

// A viewer the program started: its process (a child of the given parent) and the program's
// end of its channel.
struct StartedViewer {
    QProcess* process = nullptr;
    ViewerChannel* channel = nullptr;
};

// Starts the viewer program beside this one for role; nulls when it cannot (it is missing, or
// no channel could be made), said once on the standard error. The viewer ends with the
// program.
StartedViewer StartViewer(QObject* parent, const char* role);
