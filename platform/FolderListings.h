#pragma once
// StoredPathToRealPath (platform/FileNames.h) keeps the folder listings it
// makes for the case-insensitive matching while a folder stays the same one
// with the same times, and only once its last change is this long past: a
// change within the clock's granularity of the one before could leave its
// times as they were. Tests lower it.
namespace vo {

class TTimeConstant;
TTimeConstant& FolderListingSettleTime();

} // namespace vo
