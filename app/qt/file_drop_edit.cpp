#include "app/qt/file_drop_edit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/qt/text_display.h"

namespace padflash {

bool CarriesFiles(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.push_back(EnginePath(url.toLocalFile()));
  }
  return files;
}

FileDropEdit::FileDropEdit(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  setAcceptDrops(true);
}

void FileDropEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (CarriesFiles(event->mimeData())) event->acceptProposedAction();
}

void FileDropEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (CarriesFiles(event->mimeData())) event->acceptProposedAction();
}

void FileDropEdit::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  if (onFilesDropped) onFilesDropped(DroppedFiles(event->mimeData()));
}

}  // namespace padflash
