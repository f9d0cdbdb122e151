#include "platform/qt/qt_file_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace {
QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

QString QtFileDialog::QtFilter(const std::string& filter) {
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    if (parts.size() < 2) return ToQt(filter).trimmed();
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

void QtFileDialog::ShowOpen(const std::string& title, const std::string& filter,
                            std::string& fileName) {
    // The remembered name is offered again, as the dialog keeps it between openings.
    QFileDialog dialog(owner_, ToQt(title), QFile::decodeName(fileName.c_str()), QtFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name is taken whether or not the file exists; the caller checks it.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    fileName = QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}
