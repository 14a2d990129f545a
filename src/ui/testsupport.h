#pragma once
// What the command line and the editor share to run tests: the pictures as
// PNG files through QImage, and the assembler's options a build has (the
// kit's include folder, TI83P defined).

#include "check/pictures.h"
#include "check/suite.h"

#include <QString>

class PngPictureFiles : public check::PictureFiles {
public:
    bool read(const std::string &path, check::Picture *out, std::string *error) override;
    bool write(const std::string &path, const check::Picture &picture, std::string *error) override;
    bool exists(const std::string &path) override;
};

// The options of a build in the tree at `root`.
z80::Options testAssemblerOptions(const QString &root);
