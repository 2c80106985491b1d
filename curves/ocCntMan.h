#pragma once
// The program-wide object container manager: the view factory of the curve
// service's tree node and the offset of its images in the program's shared
// image list. GUI thread only.
#include <cstdint>

namespace vo {

class TApplicationViewFactory;

class TObjCntManager {
public:
    // Records the number of images the shared image list holds now.
    TObjCntManager();

    static const char* ClassName() noexcept { return "TObjCntManager"; }

    int GetIndexOfImage(int ImageIndex) const noexcept { return ImageIndex + FImageIndexOffset; }

    // The curve list window's factory; installed by the curve windows.
    TApplicationViewFactory* FModelView = nullptr;
    std::int32_t FImageIndexOffset = 0;
};

// The program's manager; null until the composition root creates it.
TObjCntManager* ObjCntManager() noexcept;
void SetObjCntManager(TObjCntManager* Manager) noexcept;

} // namespace vo
