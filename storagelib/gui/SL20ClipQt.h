#pragma once
// The desktop clipboard for the clipboard plug-in: the Qt clipboard, with the
// format "StorageLib Tarq" carried as the MIME type below. The block is the
// same as on any other clipboard: UTF-16 text with a terminating zero
// character. Needs a running QGuiApplication (GUI thread).
#include <string>

#include "storagelib/SL20ClipSto.h"

namespace vo {

inline constexpr const char* SLClipboardMimeType = "application/x-storagelib-tarq";

class TQtClipboard : public TSLClipboard {
public:
    // Raises "Cannot open clipboard" without a GUI application.
    void Open() override;
    void Close() noexcept override {}
    // Format names map to MIME types: "StorageLib Tarq" to
    // SLClipboardMimeType, any other name is taken as a MIME type itself.
    bool HasFormat(const std::string& Format) override;
    std::string GetBlock(const std::string& Format) override;
    void SetBlock(const std::string& Format, const std::string& Block) override;
};

} // namespace vo
