#pragma once
// The disk manager: a modal window listing the CP/M files of one drive's
// disk image, with import, export, erase, restore and wipe, and loading and
// saving whole images. It works on a private copy of the image, handed back
// to the caller only when the window is closed with OK.
#include <QDialog>
#include <QStringList>
#include <QTableWidget>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/CPM_Disk.h"

class QPushButton;

namespace velgard::ui {

class tDialogs;
class tFlags;

// The file table: cells drawn by the program, host files dropped on it are
// offered for import.
class TFilesTable : public QTableWidget {
    Q_OBJECT
public:
    explicit TFilesTable(QWidget* parent = nullptr);

signals:
    void filesDropped(QStringList paths);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class TDiskForm : public QDialog {
    Q_OBJECT
public:
    // Table columns.
    enum { kColNumber = 0, kColName = 1, kColSize = 2, kColAttributes = 3, kColumns = 4 };
    // Item data role holding true for the rows of erased files.
    static constexpr int kErasedRole = Qt::UserRole + 1;

    TDiskForm(tDialogs& dialogs, tFlags& flags, QWidget* parent = nullptr);
    ~TDiskForm() override;

    // Shows the manager modally on a private copy of the image. True on OK,
    // with the copy, its path and its changed flag in the out-parameters;
    // false on Cancel (nothing changed), for a missing image, or when the
    // window holds no usable disk.
    bool Edit(const std::uint8_t* data, std::size_t size, const std::string& path, bool changed,
              std::vector<std::uint8_t>& outImage, std::string& outPath, bool& outChanged);

    // The two halves of Edit around the modal loop, for callers (and tests)
    // that show the window themselves. Begin is false when there is no image.
    bool Begin(const std::uint8_t* data, std::size_t size, const std::string& path, bool changed);
    bool Finish(bool accepted, std::vector<std::uint8_t>& outImage, std::string& outPath,
                bool& outChanged) const;

    // The buttons' actions.
    void btnLoadDiskClick();
    void btnSaveDiskClick();
    void btnClearDiskClick();
    void btnImportFilesClick();
    void btnExportFilesClick();
    void btnEraseFilesClick();
    void btnRestoreFileClick();
    // Imports host files (the import button and drops on the table); shows
    // the summary when some could not be imported. Returns the successes.
    int ImportHostFiles(const QStringList& paths);

    // Window state, for the caller and tests.
    const std::vector<std::uint8_t>& WorkingImage() const { return image_; }
    bool Changed() const { return changed_; }
    const QString& Path() const { return path_; }
    TFilesTable* FilesTable() const { return table_; }
    // The selected file row (0-based), or -1.
    int SelectedRow() const;
    void SelectRow(int row);
    QPushButton* Button(const char* name) const;

    // The attribute letters of a file: "R", "S", "A", then "D" (erased) or
    // "U" + user (user > 0), joined by ","; "-" when none applies.
    static QString AttributeLetters(const CpmFileInfo& info);

private:
    void RefreshFiles();
    void UpdateButtons();
    void UpdateCaption();
    bool SelectedFile(CpmFileInfo& info) const;
    // Writes through the atomic writer; on failure says so under `caption`.
    bool WriteHostFile(const QString& path, const std::vector<std::uint8_t>& data, const QString& caption);

    tDialogs& dialogs_;
    tFlags& flags_;
    std::vector<std::uint8_t> image_;
    std::vector<CpmFileInfo> files_;
    QString path_;
    QString baseCaption_;
    bool changed_ = false;

    TFilesTable* table_ = nullptr;
    QPushButton* btnOk_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QPushButton* btnLoadDisk_ = nullptr;
    QPushButton* btnSaveDisk_ = nullptr;
    QPushButton* btnClearDisk_ = nullptr;
    QPushButton* btnImportFiles_ = nullptr;
    QPushButton* btnExportFiles_ = nullptr;
    QPushButton* btnEraseFiles_ = nullptr;
    QPushButton* btnRestoreFile_ = nullptr;
    QPushButton* btnInfo_ = nullptr;
};

}  // namespace velgard::ui
