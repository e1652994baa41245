// knot-fdt flash: loads an S-Record file, opens the unit, reads its identity and downloads the
// image, running the window's own download sequence step by step.
#pragma once

#include "command.h"

#include <string>

namespace CLI {
class Option;
}

class FlashCommand : public Command {
  public:
    CLI::App* Register(CLI::App& app) override;
    ExitCode Run() override;

  private:
    std::string m_model;
    std::string m_path;
    bool m_bJson = false;
    long m_commitWaitMs = 0;
    CLI::Option* m_commitWaitOption = nullptr;
};
