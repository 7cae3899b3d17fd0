// Stands in for the shell: loads the drop handler library by path, makes
// the handler through the factory, hands it an archive with Load and
// drops files onto it through IDropTarget, with a user who answers the
// folder menu and the message boxes from a script. The script is a UTF-8
// file of lines "command argument":
//   library PATH        load the handler library
//   install FOLDER      the stored install folder (none when not given)
//   register FOLDER     run the real install for the install folder, which
//                       registers the handler's class and the folder
//   hive real           use the user's own hive from here on, not a private
//                       one (a prefix of its own, with a real install)
//   class PATH          make the handler through COM from its registered
//                       class and Load the archive
//   overflow N          the stored MenuOverFlow setting
//   cursor X Y          where the mouse stands (the menu opens there)
//   archive PATH        make the handler and Load the archive
//   answer yes|no|cancel|ok   the answer to the next message box
//   menu KEYS           keys for the next drop's menu: down, up, return,
//                       escape, pause (2.5 s), or "none" when no menu may come
//   drop PATH           a path of the next drop
//   go                  DragEnter, DragOver and Drop with the paths so far
// Each step prints one line; the boxes seen come at the end.
#include <windows.h>
#include <oleidl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/handles.h"
#include "common/stringlist.h"
#include "shellext/handler_library.h"
#include "shellext/install_registration.h"
#include "support/drop_data.h"
#include "support/private_settings.h"
#include "support/prompt_recorder.h"
#include "support/scripted_user.h"
#include "support/test_files.h"
#include "support/user_classes.h"
#include "support/window_driver.h"

namespace {

void Print(const std::string& line) { printf("%s\n", line.c_str()); }

std::string Hex(HRESULT result)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

// Keys of a menu answer; "pause" holds the menu open (for screenshots).
std::vector<WORD> ParseKeys(const std::wstring& text, bool& noMenu)
{
    static const std::map<std::wstring, WORD> names{
        {L"down", VK_DOWN}, {L"up", VK_UP}, {L"return", VK_RETURN}, {L"escape", VK_ESCAPE},
        {L"right", VK_RIGHT}, {L"left", VK_LEFT}, {L"pause", 0}};
    std::vector<WORD> keys;
    noMenu = text == L"none";
    size_t start = 0;
    while (!noMenu && start <= text.size()) {
        size_t end = text.find(L',', start);
        std::wstring name = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        auto found = names.find(name);
        if (found != names.end()) {
            keys.push_back(found->second);
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return keys;
}

int Button(const std::wstring& name)
{
    static const std::map<std::wstring, int> buttons{{L"yes", IDYES}, {L"no", IDNO}, {L"cancel", IDCANCEL},
                                                     {L"ok", IDOK}};
    auto found = buttons.find(name);
    return found == buttons.end() ? IDOK : found->second;
}

// A menu answer whose "pause" keys wait instead of pressing.
class PacedMenuAnswer {
public:
    PacedMenuAnswer(const std::vector<WORD>& keys, bool noMenu)
    {
        if (noMenu) {
            answer_ = std::make_unique<MenuAnswer>(std::vector<WORD>{VK_ESCAPE});
            return;
        }
        if (std::find(keys.begin(), keys.end(), 0) != keys.end()) {
            pauser_ = std::thread([keys] {
                if (!WaitForPopupMenu(60000)) {
                    return;
                }
                Sleep(300);
                for (WORD key : keys) {
                    if (key == 0) {
                        Sleep(2500);
                    } else {
                        PressKeys({key});
                    }
                }
            });
        } else if (!keys.empty()) {
            answer_ = std::make_unique<MenuAnswer>(keys);
        }
    }
    ~PacedMenuAnswer()
    {
        if (pauser_.joinable()) {
            pauser_.join();
        }
    }
    // "1" seen, "0" not seen, "-1" not watched, "stuck" when the keys did
    // not close it.
    std::string Seen()
    {
        if (!answer_) {
            return "-1";
        }
        if (answer_->MenuStuck()) {
            return "stuck";
        }
        return answer_->MenuSeen() ? "1" : "0";
    }

private:
    std::unique_ptr<MenuAnswer> answer_;
    std::thread pauser_;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetConsoleOutputCP(CP_UTF8);
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc != 2) {
        fprintf(stderr, "usage: drop_host SCRIPT\n");
        return 2;
    }
    Bytes script = ReadFileBytes(WString(argv[1]));
    StringList lines(false);
    lines.SplitLines(WString::FromUtf8(reinterpret_cast<const char*>(script.data()), static_cast<int>(script.size())));

    ScopedComInit com;
    auto settings = std::make_unique<PrivateSettings>();
    std::unique_ptr<UserClassForCom> mergedClass;
    BoxAnswerer boxes;
    std::unique_ptr<HandlerLibrary> library;
    ComPtr<IDropTarget> target;
    std::vector<WORD> keys;
    bool noMenu = false;
    std::vector<std::wstring> paths;
    for (int i = 0; i < lines.Count(); ++i) {
        std::wstring line = lines[i].c_str();
        size_t space = line.find(L' ');
        std::wstring command = line.substr(0, space);
        std::wstring argument = space == std::wstring::npos ? std::wstring() : line.substr(space + 1);
        if (command == L"library") {
            library = std::make_unique<HandlerLibrary>(argument);
            Print(library->IsLoaded() ? "library loaded" : "library missing");
            if (!library->IsLoaded()) {
                return 1;
            }
        } else if (command == L"install" && settings) {
            settings->SetText(L"InstallDir", WString(argument.c_str()));
        } else if (command == L"overflow" && settings) {
            settings->Set(L"MenuOverFlow", static_cast<DWORD>(_wtoi(argument.c_str())));
        } else if (command == L"register") {
            std::wstring failed = InstallForFolder(argument);
            Print(failed.empty() ? "registered" : "register failed: " + OneLineUtf8(failed));
        } else if (command == L"hive" && argument == L"real") {
            settings.reset();
        } else if (command == L"class") {
            mergedClass = std::make_unique<UserClassForCom>(HandlerClassIdText());
            HRESULT loaded = E_FAIL;
            *target.Receive() = CreateRegisteredDropTarget(argument, &loaded);
            Print(std::string(mergedClass->Copied() ? "user class" : "no user class") + " load " + Hex(loaded));
        } else if (command == L"cursor") {
            int x = 0;
            int y = 0;
            swscanf(argument.c_str(), L"%d %d", &x, &y);
            SetCursorPos(x, y);
        } else if (command == L"archive" && library) {
            HRESULT loaded = E_FAIL;
            *target.Receive() = library->CreateDropTarget(argument, &loaded);
            Print("load " + Hex(loaded));
        } else if (command == L"answer") {
            boxes.Answer(Button(argument));
        } else if (command == L"menu") {
            keys = ParseKeys(argument, noMenu);
        } else if (command == L"drop") {
            paths.push_back(argument);
        } else if (command == L"go" && target) {
            DropData* data = DropData::WithFiles(paths);
            POINTL point{0, 0};
            DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
            target->DragEnter(data, MK_LBUTTON, point, &entered);
            target->DragOver(MK_LBUTTON, point, &entered);
            DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
            HRESULT dropped;
            std::string seen;
            {
                PacedMenuAnswer user(keys, noMenu);
                dropped = target->Drop(data, 0, point, &effect);
                seen = user.Seen();
            }
            Print("drop " + Hex(dropped) + " enter " + std::to_string(entered) + " effect " + std::to_string(effect) +
                  " menu " + seen + " media " + std::to_string(data->HandedOut()) + "/" +
                  std::to_string(data->GivenBack()));
            data->Release();
            paths.clear();
            keys.clear();
            noMenu = false;
        } else {
            fprintf(stderr, "drop_host: cannot do line %d\n", i + 1);
            return 2;
        }
    }
    target.Reset();
    mergedClass.reset();
    if (library) {
        Print("unload " + Hex(library->CanUnloadNow()));
    }
    for (const std::wstring& text : boxes.Texts()) {
        Print("box " + OneLineUtf8(text));
    }
    Print("unexpected " + std::to_string(boxes.Unexpected()) + " unused " + std::to_string(boxes.UnusedAnswers()));
    return 0;
}
