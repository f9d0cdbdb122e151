#pragma once
#include <string>

// What the program asks of the file system about itself and its neighbours.
class IFileSystem {
  public:
    virtual ~IFileSystem() = default;
    // Folder of the running executable, without a trailing separator.
    virtual std::string ProgramFolder() = 0;
    // File name of the running executable, with its extension if it has one.
    virtual std::string ExeName() = 0;
    // True for an existing ordinary file: not a folder, not hidden (on Windows not a system
    // file either), as a directory lookup of the path finds it.
    virtual bool FileExists(const std::string& path) = 0;
    // True when path itself is a link (symbolic link, or on Windows any reparse point such as
    // a junction), dangling or not.
    virtual bool IsLink(const std::string& path) = 0;
    // Bare name of the first ordinary file in folder whose name starts with prefix and
    // ends with suffix (case-insensitive), in name order; folders, hidden files and,
    // where it matters, files that cannot be run are passed over. Empty when none.
    virtual std::string FindFirstFile(const std::string& folder, const std::string& prefix,
                                      const std::string& suffix) = 0;

    // The fixed folder under which the builder generates copies ("C:\Tavorin" on Windows,
    // ~/Tavorin elsewhere), without a trailing separator.
    virtual std::string BuilderBaseFolder() = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // Creates one folder; its parent must exist. reason says why on failure.
    virtual bool CreateFolder(const std::string& path, std::string& reason) = 0;
    // Copies a file over any existing destination without ever leaving a truncated or
    // half-written destination behind; keeps the source's permissions. Copying a file
    // onto itself changes nothing.
    virtual bool CopyFile(const std::string& from, const std::string& to, std::string& reason) = 0;
};

#include <memory>
std::unique_ptr<IFileSystem> MakeFileSystem();
