#pragma once
// What a drag out of a parameter list or a variable list carries inside the
// program: the drive the rows belong to and the rows themselves. The drop
// target (a section of the project tree) checks the drive and copies the
// rows; the pointers are valid while the drag runs (QDrag::exec is modal).
// Besides this, the data holds the UPIDs as "application/x-velkor-upid"
// and the captions as text, for targets outside the program.

#include <QMimeData>
#include <vector>

namespace vo {

class TDevice;
class TParameter;
class TVarItem;

class TVarDragData : public QMimeData {
public:
    TDevice* Device = nullptr;
    std::vector<TParameter*> Parameters;
    std::vector<TVarItem*> Variables;
};

} // namespace vo
