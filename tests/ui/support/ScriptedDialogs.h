#pragma once
// A tDialogs stand-in for GUI tests: answers come from queues the test fills,
// and every question and message is recorded.
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

#include "ui/Dialogs.h"

namespace velgard::ui::test {

struct tRecordedDialog {
    QString Kind;  // "open", "open-many", "save", "ask", "message"
    QString Caption;
    QString Text;  // question/message text, or the dialog's folder
    tIcon Icon = tIcon::None;
    tFileDialogSpec Request;
};

class tScriptedDialogs final : public tDialogs {
public:
    std::deque<std::optional<QString>> FileAnswers;  // open/save: nullopt = Cancel
    std::deque<QStringList> ManyFileAnswers;
    std::deque<bool> YesNoAnswers;
    bool DefaultYesNo = false;  // when YesNoAnswers is empty
    std::vector<tRecordedDialog> Log;

    std::optional<QString> OpenFile(QWidget*, const tFileDialogSpec& request) override {
        Log.push_back({"open", request.Title, request.Folder, tIcon::None, request});
        return NextFile();
    }
    QStringList OpenFiles(QWidget*, const tFileDialogSpec& request) override {
        Log.push_back({"open-many", request.Title, request.Folder, tIcon::None, request});
        if (ManyFileAnswers.empty()) return {};
        QStringList answer = ManyFileAnswers.front();
        ManyFileAnswers.pop_front();
        return answer;
    }
    std::optional<QString> SaveFile(QWidget*, const tFileDialogSpec& request) override {
        Log.push_back({"save", request.Title, request.Folder, tIcon::None, request});
        return NextFile();
    }
    bool AskYesNo(QWidget*, const QString& caption, const QString& text, tIcon icon) override {
        Log.push_back({"ask", caption, text, icon, {}});
        if (YesNoAnswers.empty()) return DefaultYesNo;
        const bool answer = YesNoAnswers.front();
        YesNoAnswers.pop_front();
        return answer;
    }
    void Message(QWidget*, const QString& caption, const QString& text, tIcon icon) override {
        Log.push_back({"message", caption, text, icon, {}});
    }

    // The recorded dialogs of one kind.
    std::vector<tRecordedDialog> OfKind(const QString& kind) const {
        std::vector<tRecordedDialog> out;
        for (const auto& d : Log)
            if (d.Kind == kind) out.push_back(d);
        return out;
    }

private:
    std::optional<QString> NextFile() {
        if (FileAnswers.empty()) return std::nullopt;
        auto answer = FileAnswers.front();
        FileAnswers.pop_front();
        return answer;
    }
};

}  // namespace velgard::ui::test
