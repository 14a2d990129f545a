#pragma once
// The 96x64 pictures `screen` and `buffer` compare with, and the PNG files
// they are kept in, read and written through an interface that the window
// layer gives (this one knows no image library); tests give one in memory.

#include <string>
#include <vector>

namespace check {

constexpr int kPictureWidth = 96, kPictureHeight = 64;

struct Picture {
    std::vector<bool> dark = std::vector<bool>(kPictureWidth * kPictureHeight);
    bool at(int x, int y) const { return dark[std::size_t(y * kPictureWidth + x)]; }
    bool operator==(const Picture &o) const { return dark == o.dark; }
};

class PictureFiles {
public:
    virtual ~PictureFiles() = default;
    // False with *error (the file does not exist, is no PNG, is another size).
    virtual bool read(const std::string &path, Picture *out, std::string *error) = 0;
    virtual bool write(const std::string &path, const Picture &picture, std::string *error) = 0;
    virtual bool exists(const std::string &path) = 0;
};

} // namespace check
