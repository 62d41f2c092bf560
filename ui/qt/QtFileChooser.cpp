#include <QFileDialog>
#include <QFileInfo>
#include <cstring>

#include "ui/qt/FileFilters.h"
#include "ui/qt/QtDialogWindow.h"

// The file-open dialog of the Qt backend: one existing file, the first filter selected, the offered file
// preselected in its folder.
bool QtDialogWindow::ChooseOpenFile(char* buffer, std::size_t size, const std::string& title,
                                    std::span<const FileFilter> filters) {
    if (size == 0) {
        return false;
    }
    QFileDialog chooser(this, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    chooser.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList nameFilters = QtNameFilters(filters);
    chooser.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty()) {
        chooser.selectNameFilter(nameFilters.first());
    }
    const QFileInfo offered(QString::fromUtf8(buffer, static_cast<qsizetype>(strnlen(buffer, size))));
    if (!offered.filePath().isEmpty()) {
        chooser.setDirectory(offered.absolutePath());
        chooser.selectFile(offered.fileName());
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
        return false;
    }
    const QByteArray chosen = chooser.selectedFiles().first().toUtf8();
    if (static_cast<std::size_t>(chosen.size()) >= size) {
        return false;
    }
    std::memcpy(buffer, chosen.constData(), static_cast<std::size_t>(chosen.size()));
    buffer[chosen.size()] = '\0';
    return true;
}
