#pragma once
// Removes single files and directories named by long paths, never anything else.
//
// Before anything is changed, the entry is opened and the handle asked where it really
// is; only when that is the listed path itself is the entry removed, through that same
// handle. Windows opens a link itself when asked to (FILE_FLAG_OPEN_REPARSE_POINT), so a
// junction or symbolic link goes and its target stays. Wine follows a Linux symbolic link
// whatever it is asked: the handle then stands for the target outside the tree, the
// paths differ, and the link is left alone.
#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

class EntryRemover {
public:
    // True when the entry is gone: removed now, or not there (any more). A read-only entry
    // loses that attribute first, and gets it back when it stays all the same.
    bool remove(const std::wstring& longPath);

private:
    // The serial number of the volume behind a drive letter; false when it cannot be read.
    bool volumeSerial(wchar_t drive, DWORD& serial);
    // The handle's path on its volume ("\Orbelune\420"), empty when it cannot be read.
    std::wstring pathOnVolume(HANDLE entry);

    std::map<wchar_t, std::pair<bool, DWORD>> m_serials;
    std::vector<unsigned char> m_nameBuffer;
};
