#include <iostream>

#include "apps/tolva/ToolSettings.h"

namespace qvx::Tolva {

void ConsoleSink(int kind, const char* text, void* user)
{
    switch (kind) {
    case e_LogError:
        std::cout << "Error: ";
        if (!text) {
            std::cout.setstate(std::ios::badbit);
            return;
        }
        std::cout << text << std::endl;
        break;
    case e_LogInfo:
        if (!text) {
            std::cout.setstate(std::ios::badbit);
            return;
        }
        std::cout << text;
        break;
    case e_LogReadLine: {
        std::string line;
        std::getline(std::cin, line);
        if (user) *static_cast<std::string*>(user) = std::move(line);
        break;
    }
    default:
        break;
    }
}

void Log(const ToolSettings& settings, int kind, const std::string& text)
{
    if (settings.log) settings.log(kind, text.c_str(), settings.logUser);
}

}  // namespace qvx::Tolva
