#include <initializer_list>

#include "platform/distribution.h"

namespace {
// The Debian packages the program's binary needs, as dpkg-shlibdeps computed them at build
// time (cmake/debian_packages.cmake); the probe that computation runs on has none.
const std::initializer_list<std::string_view> kPackages = {
#ifndef TAVORIN_NO_PACKAGE_LIST
#include "debian_packages.inc"
#endif
};
}  // namespace

DistributionText ProgramFilesText() {
    return {"Program Files (Default install : /opt/",
            "Fichiers programmes (installation conseillée dans /opt/"};
}

DistributionText SystemPartsText() {
    return {"Packages needed (Debian)", "Paquets nécessaires (Debian)"};
}

std::span<const std::string_view> SystemParts() {
    return {kPackages.begin(), kPackages.size()};
}

std::span<const std::string_view> ProgramParts() {
    static constexpr std::string_view kParts[] = {kViewerFile};
    return kParts;
}
