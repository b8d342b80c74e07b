// Stand-ins for the window's modal dialogs: a test scripts the answers.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/view.h"

class ScriptedDialogs final : public Dialogs {
public:
    std::function<void(const std::string& text)> onMessage;
    std::function<std::optional<std::string>(const std::string& title, const std::string& initialFolder)> onChoose;
    std::function<bool(const std::string& text)> onAsk;  // unset: No

    void showMessage(const std::string& text) override {
        if (onMessage) onMessage(text);
    }
    bool askYesNo(const std::string& text) override { return onAsk ? onAsk(text) : false; }
    std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) override {
        return onChoose ? onChoose(title, initialFolder) : std::nullopt;
    }
};
