#include "storagelib/gui/SL20ClipQt.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

#include "platform/Exception.h"

namespace vo {

namespace {

QString MimeOf(const std::string& Format) {
    if (Format == SLClipboardFormatName) return QString::fromLatin1(SLClipboardMimeType);
    return QString::fromStdString(Format);
}

QClipboard* Clipboard() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) throw Exception("Cannot open clipboard");
    return QGuiApplication::clipboard();
}

} // namespace

void TQtClipboard::Open() { (void)Clipboard(); }

bool TQtClipboard::HasFormat(const std::string& Format) {
    const QMimeData* data = Clipboard()->mimeData();
    return data && data->hasFormat(MimeOf(Format));
}

std::string TQtClipboard::GetBlock(const std::string& Format) {
    const QMimeData* data = Clipboard()->mimeData();
    if (!data) return {};
    const QByteArray bytes = data->data(MimeOf(Format));
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void TQtClipboard::SetBlock(const std::string& Format, const std::string& Block) {
    auto* data = new QMimeData(); // the clipboard takes it over
    data->setData(MimeOf(Format), QByteArray(Block.data(), static_cast<qsizetype>(Block.size())));
    Clipboard()->setMimeData(data); // replaces every format the clipboard held
}

} // namespace vo
