// Dropped files on Qt widgets. A read-only QLineEdit refuses drops, so the
// file-name box is this small subclass that takes dropped files and hands
// them on, as the dialog does with files dropped anywhere else on it.
#pragma once

#include <QLineEdit>
#include <functional>
#include <string>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace padflash {

using FilesDropped = std::function<void(const std::vector<std::string>& files)>;

// True when a drag carries at least one local file.
bool CarriesFiles(const QMimeData* data);
// The local files of a drop, in their order, as engine paths.
std::vector<std::string> DroppedFiles(const QMimeData* data);

class FileDropEdit final : public QLineEdit {
 public:
  explicit FileDropEdit(QWidget* parent);
  FilesDropped onFilesDropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace padflash
