// A window without a toolkit: records what the handlers show and lets a test
// script the user's answers.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/view.h"

class FakeView : public View, private Dialogs {
public:
    std::map<EditId, std::string> edits;
    std::map<LabelId, std::string> labels{{LabelId::Label1, "0"}, {LabelId::Label4, "0"},
                                          {LabelId::Label5, "0"}, {LabelId::Label9, "0"}};
    bool checkBox1 = false;
    int padChoice = 0;
    std::vector<int> progress;            // every position set, in order
    std::vector<std::string> statusTexts; // every status text set, in order
    std::vector<std::string> events;      // messages shown and Edit1 changes, in order
    std::vector<bool> commandsEnabled;    // every enable/disable, in order
    int pumps = 0;
    bool closing = false;
    bool cancelling = false;
    std::optional<std::string> folderToChoose;  // nullopt: the user cancels
    std::string lastChooserTitle;
    std::string lastChooserInitial;
    std::function<void()> onPump;               // runs inside processPendingEvents
    std::vector<bool> answers;                  // to askYesNo, in order; No when none is left

    std::string status() const { return statusTexts.empty() ? "" : statusTexts.back(); }

    std::string editText(EditId edit) const override {
        auto it = edits.find(edit);
        return it == edits.end() ? "" : it->second;
    }
    void setEdit1Text(const std::string& text) override {
        edits[EditId::Edit1] = text;
        events.push_back("Edit1=" + text);
    }
    void setLabelCaption(LabelId label, const std::string& caption) override { labels[label] = caption; }
    bool isCheckBox1Checked() const override { return checkBox1; }
    int padChoiceIndex() const override { return padChoice; }
    void setProgress(int position) override { progress.push_back(position); }
    void setStatusText(const std::string& text) override { statusTexts.push_back(text); }
    void processPendingEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    bool closeRequested() const override { return closing; }
    bool scanCancelRequested() const override { return cancelling; }
    void focusScanButton() override { events.push_back("focus=Button1"); }
    void setCommandsEnabled(bool enabled) override { commandsEnabled.push_back(enabled); }
    Dialogs& dialogs() override { return *this; }

private:
    void showMessage(const std::string& text) override { events.push_back("message=" + text); }
    bool askYesNo(const std::string& text) override {
        events.push_back("question=" + text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) override {
        lastChooserTitle = title;
        lastChooserInitial = initialFolder;
        return folderToChoose;
    }
};
