#pragma once
// Removes single files and directories named by long paths, never anything else.
//
// Before anything is changed, the entry is opened and the handle asked where it really
// is; only when that is the listed path itself, letter for letter, is the entry removed,
// through that same handle. Windows opens a link itself when asked to
// (FILE_FLAG_OPEN_REPARSE_POINT), so a junction or symbolic link goes and its target stays.
// Wine follows a Linux symbolic link whatever it is asked: the handle then stands for the
// target, the paths differ, and the link is left alone. Wine also names a handle's file
// without the dots and spaces its names end with: an entry whose own name ends so stays,
// and so does one whose path passes a name that has such a look-alike beside it
// ("Orbelune" beside "Orbelune."), since its handle might stand for the look-alike.
#include <windows.h>

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class EntryRemover {
public:
    // True when the entry is gone: removed now, or nothing goes by its name any more. A
    // read-only entry loses that attribute first, and gets it back when it stays all the same.
    bool remove(const std::wstring& longPath);

private:
    // The serial number of the volume behind a drive letter; false when it cannot be read.
    bool volumeSerial(wchar_t drive, DWORD& serial);
    // The handle's path on its volume ("\Orbelune\420"), empty when it cannot be read.
    std::wstring pathOnVolume(HANDLE entry);
    // True when a directory on the way holds a look-alike of the next name on the path.
    bool passesLookAlike(const std::wstring& longPath);

    std::map<wchar_t, std::pair<bool, DWORD>> m_serials;
    // By directory: the names there that another name of that directory becomes when its
    // trailing dots and spaces are dropped.
    std::unordered_map<std::wstring, std::unordered_set<std::wstring>> m_lookAlikes;
    std::vector<unsigned char> m_nameBuffer;
};
