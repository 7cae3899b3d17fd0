// The menu tooltip: Windows' tooltips do not work on menu items, so the
// viewer shows details of the highlighted item in a window of its own, half a
// second after the highlight arrives and for five seconds.
#pragma once

#include <windows.h>

#include <memory>

#include "common/handles.h"
#include "common/monitors.h"
#include "common/stringlist.h"
#include "viewer/handover.h"

class CArcFile;

// A window that shows lines of text beside a rectangle after a delay, for a
// while. Derived classes say what to show.
class FMenuTTObj {
public:
    FMenuTTObj(const wchar_t* faceName, int tenthsOfPoint);
    virtual ~FMenuTTObj();
    FMenuTTObj(const FMenuTTObj&) = delete;
    FMenuTTObj& operator=(const FMenuTTObj&) = delete;

    virtual void SetItem(const WString& path, int kind, const MenuAnchor& anchor) = 0;
    // Returns true to let the window procedure go on.
    virtual bool FilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnHidden() {}
    virtual void BuildText() = 0;

    void Hide();
    void ShowLines(const StringList& lines);
    // Hides, then shows the lines at once, with no display timer.
    void ShowTextNow(const StringList& lines);

    HWND Window() const { return window_.Get(); }
    bool IsShown() const { return shown_; }

    static const UINT_PTR kDelayTimer = 1;
    static const UINT_PTR kDisplayTimer = 2;
    static const UINT kDelayMilliseconds = 500;
    static const UINT kDisplayMilliseconds = 5000;

protected:
    void StartDelay();
    MenuAnchor anchor_{};

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR timer);
    // Makes the font for the DPI of the monitor the text is shown on, unless
    // the one in the surface already is.
    void UseDpi(UINT dpi);

    ScopedWindow window_;
    // The window's surface, kept for the object's lifetime; dc_ names it.
    std::unique_ptr<ScopedWindowDC> surface_;
    HDC dc_ = nullptr;
    WString faceName_;
    int tenthsOfPoint_ = 0;
    ScopedFont font_;
    UINT fontDpi_ = 0;
    MonitorList monitors_;
    int sampleHeight_ = 0;
    bool shown_ = false;
};

// The tooltip of the archive menu: the archive file, file entries, About.
class FMenuTT : public FMenuTTObj {
public:
    FMenuTT(const wchar_t* faceName, int tenthsOfPoint) : FMenuTTObj(faceName, tenthsOfPoint) {}
    // The archive whose entries are described; null describes none.
    void SetArchive(CArcFile* archive, bool isCab)
    {
        archive_ = archive;
        isCab_ = isCab;
    }
    void SetItem(const WString& path, int kind, const MenuAnchor& anchor) override;
    void BuildText() override;
    // The lines BuildText shows for the current item; empty for nothing.
    void TextLines(StringList& lines);

private:
    CArcFile* archive_ = nullptr;
    bool isCab_ = false;
    WString path_;
    int kind_ = 0;
};
