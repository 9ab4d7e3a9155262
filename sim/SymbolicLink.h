#pragma once

#include <string>
#include <utility>

// A symbolic link at a fixed path that follows the current line, so a program configured with
// that path finds the simulator whatever pseudo-terminal it got. Removed on destruction unless
// something else has replaced it meanwhile.
class SymbolicLink {
public:
    explicit SymbolicLink(std::string path) : path_(std::move(path)) {}
    SymbolicLink(const SymbolicLink&) = delete;
    SymbolicLink& operator=(const SymbolicLink&) = delete;
    ~SymbolicLink() { Remove(); }

    // Replaces the link atomically; refuses to replace anything that is not a symbolic link.
    bool PointAt(const std::string& target, std::string& error);
    void Remove();

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string target_; // empty while we have no link in place
};
