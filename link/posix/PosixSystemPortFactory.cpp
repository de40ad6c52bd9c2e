#include "link/SystemPortFactory.h"
#include "link/posix/PosixPortFactory.h"

std::shared_ptr<TPortFactory> MakeSystemPortFactory(const std::string& baseDirectory) {
    return std::make_shared<TPosixPortFactory>(baseDirectory);
}
