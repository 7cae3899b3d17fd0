#include "setup/shell_options.h"

#include "common/paths.h"

ShellClasses ReadShellClasses() { return ShellClasses{ShellClassName(L".zip"), ShellClassName(L".cab")}; }

bool IsOurDefaultVerb(const WString& value) { return value == L"menu"; }

bool IsOurIcon(const WString& value) { return value.Find(L"ZPKSet.exe") >= 0; }

bool IsOurDropHandler(const WString& value) { return value == kHandlerClassId; }

WString ShellKey(const WString& className) { return className + L"\\shell"; }

WString DefaultIconKey(const WString& className) { return className + L"\\DefaultIcon"; }

WString DropHandlerKey(const WString& className) { return className + L"\\shellex\\DropHandler"; }

ShellOptions ReadShellOptions(ClassRegistry& classes, const WString& zipClass)
{
    ShellOptions options;
    if (zipClass.IsEmpty()) {
        return options;
    }
    options.menuDefault = IsOurDefaultVerb(classes.ReadText(ShellKey(zipClass)));
    options.ownIcons = IsOurIcon(classes.ReadText(DefaultIconKey(zipClass)));
    options.dropHandler = IsOurDropHandler(classes.ReadText(DropHandlerKey(zipClass)));
    return options;
}

namespace {

bool WriteDefaultVerb(ClassRegistry& classes, const WString& className, bool on)
{
    if (on) {
        return classes.WriteText(ShellKey(className), nullptr, L"menu");
    }
    // The user's own default verb stays.
    if (IsOurDefaultVerb(classes.ReadText(ShellKey(className)))) {
        classes.DeleteValue(ShellKey(className), nullptr);
    }
    return true;
}

bool WriteIcon(ClassRegistry& classes, const WString& className, const WString& installFolder, const wchar_t* index,
               bool on)
{
    if (on) {
        return classes.WriteText(DefaultIconKey(className), nullptr,
                                 JoinPath(installFolder, L"ZPKSet.exe") + index);
    }
    if (IsOurIcon(classes.ReadText(DefaultIconKey(className)))) {
        classes.DeleteKey(DefaultIconKey(className));
    }
    return true;
}

}  // namespace

bool WriteShellOptions(ClassRegistry& classes, const ShellClasses& names, const ShellOptions& options,
                       const WString& installFolder)
{
    bool ok = true;
    for (const WString* name : {&names.zip, &names.cab}) {
        if (!name->IsEmpty()) {
            ok = WriteDefaultVerb(classes, *name, options.menuDefault) && ok;
        }
    }
    if (!names.zip.IsEmpty()) {
        ok = WriteIcon(classes, names.zip, installFolder, L",1", options.ownIcons) && ok;
    }
    if (!names.cab.IsEmpty()) {
        ok = WriteIcon(classes, names.cab, installFolder, L",2", options.ownIcons) && ok;
    }
    if (!names.zip.IsEmpty()) {
        if (options.dropHandler) {
            ok = classes.WriteText(DropHandlerKey(names.zip), nullptr, kHandlerClassId) && ok;
        } else if (IsOurDropHandler(classes.ReadText(DropHandlerKey(names.zip)))) {
            classes.DeleteValue(DropHandlerKey(names.zip), nullptr);
        }
    }
    return ok;
}

WString MissingClassNotice(const ShellClasses& names)
{
    WString types;
    if (names.zip.IsEmpty()) {
        types += L"*.zip";
    }
    if (names.cab.IsEmpty()) {
        types += types.IsEmpty() ? L"*.cab" : L"、*.cab";
    }
    if (types.IsEmpty()) {
        return types;
    }
    return types + L" にはファイルの種類が登録されていないため、メニュー表示・アイコン・ドロップの設定をしていません";
}
