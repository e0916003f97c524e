// Reading scratch files.
#include "support/files.h"

#include <fstream>
#include <sstream>

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}
