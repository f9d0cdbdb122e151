#pragma once
// Debian's Apache (apache2-bin) with a configuration of its own on a free port of 127.0.0.1,
// serving one page compressed by one of its filters as Debian sets them up ("DEFLATE", or
// "BROTLI_COMPRESS"), and logging the status, the bytes in and out (heads included) and the
// ETag of every answer. Used by bench_poll and the transfer tests.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <string>
#include <vector>

class ApacheServer {
  public:
    static constexpr char kBinary[] = "/usr/sbin/apache2";
    struct Answer {
        int status = 0;
        qint64 in = 0, out = 0;
        QByteArray etag;
    };

    ApacheServer(const QByteArray& filter, const QByteArray& page) {
        // Started by root, its workers run as nobody: a folder everyone may read, outside any
        // private TMPDIR.
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::ExeGroup |
                                               QFile::ReadOther | QFile::ExeOther);
        SetPage(page);
        // The free port is found by closing it, so another program may take it meanwhile.
        for (int attempt = 0; attempt < 3 && !port_ && QFile::exists(kBinary); ++attempt)
            Start(filter);
    }
    ~ApacheServer() { Stop(); }

    bool ok() const { return port_ != 0; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/info.html"; }
    QString errors() const {
        QFile log(dir_.filePath("error.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    // A new version of the page, of another size so that its tag changes within one second.
    void SetPage(const QByteArray& page) {
        QFile file(dir_.filePath("info.html"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(page);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    }

    // The answers logged so far, once there are at least `count` (a line is written just
    // after its answer is sent) or after ten seconds.
    std::vector<Answer> Log(std::size_t count) const {
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            std::vector<Answer> answers;
            QFile log(dir_.filePath("access.log"));
            if (log.open(QIODevice::ReadOnly)) {
                for (const QByteArray& line : log.readAll().split('\n')) {
                    const QList<QByteArray> f = line.split(' ');
                    if (f.size() == 4)
                        answers.push_back(
                            {f[0].toInt(), f[1].toLongLong(), f[2].toLongLong(), f[3]});
                }
            }
            if (answers.size() >= count || waited.elapsed() > 10000) return answers;
            QThread::msleep(20);
        }
    }

  private:
    void Start(const QByteArray& filter) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) return;
        const QByteArray port = QByteArray::number(probe.serverPort());
        probe.close();
        const QByteArray dir = dir_.path().toUtf8(), modules = "/usr/lib/apache2/modules/mod_";
        QByteArray conf =
            "ServerRoot " + dir + "\nDefaultRuntimeDir " + dir + "\nPidFile " + dir +
            "/httpd.pid\nErrorLog " + dir + "/error.log\nListen 127.0.0.1:" + port +
            "\nServerName 127.0.0.1\nUser nobody\nGroup nogroup\nTypesConfig /dev/null\n";
        for (const char* module : {"mpm_event", "authz_core", "mime", "filter", "deflate"})
            conf += "LoadModule " + QByteArray(module) + "_module " + modules + module + ".so\n";
        conf += "LoadModule brotli_module " + modules + "brotli.so\n";
        conf += "LogFormat \"%>s %I %O %{ETag}o\" counts\nCustomLog " + dir +
                "/access.log counts\nDocumentRoot " + dir + "\n<Directory " + dir +
                ">\nRequire all granted\n</Directory>\nAddType text/html .html\n"
                "AddOutputFilterByType " +
                filter + " text/html\n";
        QFile file(dir_.filePath("httpd.conf"));
        if (!file.open(QIODevice::WriteOnly) || file.write(conf) != conf.size()) return;
        file.close();
        Stop();
        process_.setProgram(kBinary);
        process_.setArguments({"-f", file.fileName(), "-DFOREGROUND"});
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start();
        QElapsedTimer waited;
        waited.start();
        while (process_.state() != QProcess::NotRunning && waited.elapsed() < 10000) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port.toUInt()));
            if (socket.waitForConnected(500) && process_.state() == QProcess::Running) {
                port_ = port.toInt();
                return;
            }
            process_.waitForFinished(100);
        }
    }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();  // the parent ends its workers on SIGTERM
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    QTemporaryDir dir_{"/tmp/tavorin-apache-XXXXXX"};
    QProcess process_;
    int port_ = 0;
};
