// The viewer's decisions without a screen: command lines, names of work
// copies, the hand-over block, tooltip texts and placement, the drag state
// machine and drop source, icons and sizes.
#include <gtest/gtest.h>

#include "common/path_checks.h"
#include "common/paths.h"
#include "support/test_files.h"
#include "viewer/commands.h"
#include "viewer/drag.h"
#include "viewer/handover.h"
#include "viewer/menu_model.h"
#include "viewer/menu_paint.h"
#include "viewer/store_wait.h"
#include "viewer/tooltip_text.h"
#include "viewer/viewer.h"

TEST(ArchiverCommand, PlaceholdersAreReplacedOnceInOnePassAndQuoted)
{
    EXPECT_EQ(WString(L"/x \"C:\\A B\\d&x.zip\" /y"),
              ExpandArchiverArguments(WString(L"/x %l /y"), WString(L"C:\\AB~1\\D.ZIP"), WString(L"C:\\A B\\d&x.zip")));
    EXPECT_EQ(WString(L"\"C:\\AB~1\\D.ZIP\" \"C:\\%s%l.zip\" %s"),
              ExpandArchiverArguments(WString(L"%s %l %s"), WString(L"C:\\AB~1\\D.ZIP"), WString(L"C:\\%s%l.zip")))
        << "text put in is not read again; only the first of each is replaced";
    EXPECT_EQ(WString(L"\"C:\\a b.zip\" %l"),
              ExpandArchiverArguments(WString(L"\"%l\" %l"), WString(L"S"), WString(L"C:\\a b.zip")))
        << "a placeholder already in quotes gets no second pair";
    EXPECT_EQ(WString(L"-o\"dir\" \"100%^.zip\""),
              ExpandArchiverArguments(WString(L"-o\"dir\" %l"), WString(), WString(L"100%^.zip")));
}

TEST(ArchiverCommand, ExtractionNeverMixesIntoAnExistingFolder)
{
    auto taken = [](const WString& path) { return path == L"D:\\out\\data" || path == L"D:\\out\\data (2)"; };
    EXPECT_EQ(WString(L"D:\\out\\data (3)"), UniqueDestination(WString(L"D:\\out\\data"), taken));
    EXPECT_EQ(WString(L"D:\\out\\other"), UniqueDestination(WString(L"D:\\out\\other"), taken));
    EXPECT_EQ(WString(L"a\\b\\"), EntryFolderOf(WString(L"a\\b\\c.txt")));
    EXPECT_EQ(WString(), EntryFolderOf(WString(L"c.txt")));
}

TEST(WorkCopies, NamesThatLeaveTheWorkFolderAreRefused)
{
    EXPECT_EQ(WString(L"c.txt"), WorkCopyName(WString(L"a\\c.txt")));
    EXPECT_EQ(WString(L"b"), WorkCopyName(WString(L"a\\b\\")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L"a\\..")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L"..\\")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L".")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L"")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L"a\\c:stream")));
    EXPECT_EQ(WString(), WorkCopyName(WString(L"trailing. ")));
}

TEST(WorkCopies, OnlyPathsStrictlyInsideTheFolderCount)
{
    EXPECT_TRUE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWork\\a.txt")));
    EXPECT_TRUE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"c:\\T\\zpkwork\\sub\\")));
    EXPECT_FALSE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWork\\..")));
    EXPECT_FALSE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWork")));
    EXPECT_FALSE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWork\\.")));
    EXPECT_FALSE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWorkshop\\a")));
    EXPECT_FALSE(IsStrictlyInside(WString(L"C:\\t\\ZPKWork"), WString(L"C:\\t\\ZPKWork\\a\\..\\..\\x")));
}

// A real folder beside a copy: removal stays inside, whatever the name says.
TEST(WorkCopies, RemovalOutsideTheWorkFolderDoesNothing)
{
    ScratchFolder scratch;
    WString work = scratch / L"ZPKWork";
    CreateDirectoryW(work.c_str(), nullptr);
    WString outside = scratch / L"keep.txt";
    WriteFileText(outside, "keep");
    WString inside = JoinPath(work, WString(L"sub"));
    CreateDirectoryW(inside.c_str(), nullptr);
    WriteFileText(JoinPath(inside, WString(L"x.txt")), "x");
    SetFileAttributesW(JoinPath(inside, WString(L"x.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
    RemoveInside(work, JoinPath(work, WString(L"..")));
    RemoveInside(work, work);
    EXPECT_TRUE(PathExists(outside));
    EXPECT_TRUE(PathExists(work));
    RemoveInside(work, inside);
    EXPECT_FALSE(PathExists(inside)) << "a read-only file inside does not stop the removal";
}

// A link inside the work folder may point anywhere: removing it takes the
// link away and leaves what it points to.
TEST(WorkCopies, ALinkToAFolderOutsideIsRemovedAsALink)
{
    ScratchFolder scratch;
    WString work = scratch / L"ZPKWork";
    WString outside = scratch / L"outside";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(outside.c_str(), nullptr);
    WString kept = JoinPath(outside, WString(L"keep.txt"));
    WriteFileText(kept, "keep");
    CreateDirectoryW(JoinPath(outside, WString(L"more")).c_str(), nullptr);
    WriteFileText(JoinPath(outside, WString(L"more\\deeper.txt")), "keep");
    WString link = JoinPath(work, WString(L"link"));
    SymbolicLink made(link, outside);
    ASSERT_TRUE(made.Made());
    RemoveInside(work, link);
    EXPECT_TRUE(PathExists(kept));
    EXPECT_TRUE(PathExists(JoinPath(outside, WString(L"more\\deeper.txt"))));
}

// The sibling file manager reads this block; its layout must not move.
TEST(Handover, BlockLayoutAndLParamArePinned)
{
    MenuAnchor anchor{reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00012345)), RECT{1, 2, 300, 20}};
    std::vector<uint8_t> block = BuildHandoverBlock(anchor, WString(L"C:\\w\\a.txt"));
    Bytes expected = ByteBuilder()
                         .U32(24)
                         .U32(0x00012345)
                         .U32(1)
                         .U32(2)
                         .U32(300)
                         .U32(20)
                         .Raw(Bytes{'C', 0, ':', 0, '\\', 0, 'w', 0, '\\', 0, 'a', 0, '.', 0, 't', 0, 'x', 0, 't', 0, 0, 0})
                         .Get();
    EXPECT_EQ(expected, block);
    EXPECT_EQ(24 + 10 + 1, HandoverLParam(WString(L"C:\\w\\a.txt")));
}

TEST(Handover, ABlockOfThatNameFromSomebodyElseIsLeftAlone)
{
    ScopedKernelHandle foreign(
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64, kHandoverName));
    ASSERT_TRUE(foreign.IsValid());
    WString error;
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(SendHandover(window, WM_NULL, MenuAnchor{}, WString(L"C:\\a"), error));
    EXPECT_NE(-1, error.Find(kHandoverName));
    DestroyWindow(window);
    EXPECT_FALSE(SendHandover(window, WM_NULL, MenuAnchor{}, WString(L"C:\\a"), error)) << "a window that is gone";
}

TEST(TooltipText, FileEntryLinesShowOnlyWhatIsKnown)
{
    StringList lines;
    FILETIME none{0, 0};
    StringList further;
    further.Insert(WString(L"extra"));
    EntryLines(WString(L"a\\b.txt"), -1, -1, none, FILE_ATTRIBUTE_ARCHIVE, further, lines);
    ASSERT_EQ(2, lines.Count());
    EXPECT_EQ(WString(L"a\\b.txt"), lines[0]);
    EXPECT_EQ(WString(L"extra"), lines[1]);
    lines.Clear();
    EntryLines(WString(L"b.txt"), 1234567, 1000, none, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, StringList(),
               lines);
    ASSERT_EQ(4, lines.Count());
    EXPECT_EQ(WString(L"圧縮前サイズ：1,234,567 バイト"), lines[1]);
    EXPECT_EQ(WString(L"圧縮後サイズ：1,000 バイト"), lines[2]);
    EXPECT_EQ(WString(L"読取専用,アーカイブでない,システム"), lines[3]);
}

TEST(TooltipText, AttributeLineOfTheArchiveFile)
{
    EXPECT_EQ(WString(), AttributeLine(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(WString(L"アーカイブでない"), AttributeLine(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(WString(L"読取専用,隠しファイル"), AttributeLine(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                                FILE_ATTRIBUTE_ARCHIVE));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    data.nFileSizeLow = 2048;
    StringList lines;
    ArchiveFileLines(WString(L"C:\\d.zip"), data, lines);
    ASSERT_EQ(5, lines.Count()) << "no attribute line with only the archive bit";
    EXPECT_EQ(WString(L"2,048 バイト"), lines[1]);
    EXPECT_TRUE(lines[2].StartsWith(L"作成日時："));
    EXPECT_TRUE(lines[4].StartsWith(L"アクセス日時："));
    EXPECT_EQ(WString(L"Zupako Ver.2.23"), AboutLine());
}

TEST(TooltipPlacement, OpensRightOfTheItemAndFlipsAtTheEdges)
{
    TooltipGeometry geometry{true, POINT{500, 300}, 120, 2, RECT{0, 0, 1280, 1024}, 96};
    POINT at = PlaceTooltip(geometry, 200, 80);
    EXPECT_EQ(500 + 120 + 4 + 1, at.x);
    EXPECT_EQ(300, at.y);
    geometry.reference = POINT{1200, 1000};
    at = PlaceTooltip(geometry, 200, 80);
    EXPECT_EQ(1000, at.x) << "left of the item near the right edge";
    EXPECT_EQ(920, at.y) << "above near the bottom";
    geometry.hasOwner = false;
    at = PlaceTooltip(geometry, 200, 80);
    EXPECT_EQ(1200 - 200 - 125, at.x);
    EXPECT_EQ(1000 - 80 - 10, at.y);
    // Too wide for either side: it goes right again.
    geometry.reference = POINT{100, 10};
    at = PlaceTooltip(geometry, 1250, 80);
    EXPECT_EQ(100 + 125, at.x);
    // A second monitor left of the first.
    TooltipGeometry left{true, POINT{-300, 200}, 100, 2, RECT{-1280, 0, 0, 1024}, 96};
    EXPECT_EQ(-300 - 200, PlaceTooltip(left, 200, 50).x);
    // At 150% and 200% the edges and gaps grow with the monitor's scale.
    TooltipGeometry half{true, POINT{500, 300}, 180, 3, RECT{0, 0, 1920, 1536}, 144};
    EXPECT_EQ(500 + 180 + 6 + 2, PlaceTooltip(half, 300, 120).x);
    half.hasOwner = false;
    half.reference = POINT{1800, 1500};
    at = PlaceTooltip(half, 300, 120);
    EXPECT_EQ(1800 - 300 - 188, at.x);
    EXPECT_EQ(1500 - 120 - 15, at.y);
    TooltipGeometry twice{false, POINT{2500, 2000}, 240, 4, RECT{0, 0, 2560, 2048}, 192};
    at = PlaceTooltip(twice, 400, 160);
    EXPECT_EQ(2500 - 400 - (240 + 8 + 2), at.x);
    EXPECT_EQ(2000 - 160 - 20, at.y);
}

TEST(DragTracker, PressAndMovePastTheDragDistanceStartsOneDrag)
{
    DragTracker drag;
    SIZE distance{4, 4};
    EXPECT_FALSE(drag.OnMouse(0, POINT{10, 10}, 5, kItemFile, distance));
    EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{10, 10}, 5, kItemFile, distance));
    EXPECT_EQ(kDragPressed, drag.State());
    EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{14, 6}, 5, kItemFile, distance)) << "within the distance, inclusive";
    EXPECT_TRUE(drag.OnMouse(kKeyLeft, POINT{15, 10}, 5, kItemFile, distance));
    EXPECT_EQ(kDragging, drag.State());
    EXPECT_EQ(5, drag.PressedItem());
    EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{40, 10}, 5, kItemFile, distance)) << "ignored while dragging";
    drag.Finished();
    EXPECT_FALSE(drag.OnMouse(0, POINT{40, 10}, 5, kItemFile, distance));
    EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{40, 10}, 5, kItemFile, distance));
    EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{90, 10}, 5, kItemFile, distance)) << "one drag per run";
}

TEST(DragTracker, ReleaseOrModifierChangeBeforeTheDistanceIsAnOrdinaryClick)
{
    DragTracker drag;
    SIZE distance{4, 4};
    drag.OnMouse(0, POINT{0, 0}, 3, kItemFolder, distance);
    drag.OnMouse(kKeyLeft, POINT{0, 0}, 3, kItemFolder, distance);
    drag.OnMouse(0, POINT{1, 1}, 3, kItemFolder, distance);
    EXPECT_EQ(kDragIdle, drag.State());
    drag.OnMouse(kKeyLeft, POINT{0, 0}, 3, kItemFolder, distance);
    drag.OnMouse(kKeyLeft | kKeyShift, POINT{20, 20}, 3, kItemFolder, distance);
    EXPECT_EQ(kDragIdle, drag.State());
}

TEST(DragTracker, AboutCabAddPlaceholdersAndDeletedItemsAreNeverDragged)
{
    for (int kind : {kItemAbout, kItemCabAdd, kItemEmptyFolder, kItemDeleted, kItemMore}) {
        DragTracker drag;
        drag.OnMouse(0, POINT{0, 0}, 7, kind, SIZE{4, 4});
        drag.OnMouse(kKeyLeft, POINT{0, 0}, 7, kind, SIZE{4, 4});
        EXPECT_FALSE(drag.OnMouse(kKeyLeft, POINT{50, 50}, 7, kind, SIZE{4, 4})) << kind;
    }
    DragTracker none;
    none.OnMouse(0, POINT{0, 0}, -1, 0, SIZE{4, 4});
    none.OnMouse(kKeyLeft, POINT{0, 0}, -1, 0, SIZE{4, 4});
    EXPECT_FALSE(none.OnMouse(kKeyLeft, POINT{50, 50}, -1, 0, SIZE{4, 4})) << "no item under the press";
}

TEST(DropSource, AnswersAsTheDragLoopExpects)
{
    CDropSource* source = new CDropSource;
    IUnknown* unknown = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(S_OK, source->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    ASSERT_NE(nullptr, unknown);
    void* other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, source->QueryInterface(IID_IDataObject, &other));
    EXPECT_EQ(nullptr, other) << "the out-pointer is cleared";
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(DRAGDROP_S_CANCEL, source->QueryContinueDrag(TRUE, MK_LBUTTON));
    EXPECT_EQ(S_OK, source->QueryContinueDrag(FALSE, MK_LBUTTON));
    EXPECT_EQ(S_OK, source->QueryContinueDrag(FALSE, MK_RBUTTON));
    EXPECT_EQ(DRAGDROP_S_DROP, source->QueryContinueDrag(FALSE, 0));
    EXPECT_EQ(DRAGDROP_S_USEDEFAULTCURSORS, source->GiveFeedback(DROPEFFECT_MOVE));
    EXPECT_EQ(0u, source->Release());
}

TEST(MenuIcons, ProgramsLinksAndNamesWithoutExtension)
{
    EXPECT_EQ(2, ChooseFileIcon(WString(L"x.EXE")).shell32Index);
    EXPECT_EQ(2, ChooseFileIcon(WString(L"a\\run.pif")).shell32Index);
    EXPECT_EQ(29, ChooseFileIcon(WString(L"go.lnk")).shell32Index);
    EXPECT_EQ(0, ChooseFileIcon(WString(L"README")).shell32Index);
    EXPECT_EQ(0, ChooseFileIcon(WString(L"v1.2\\README")).shell32Index) << "the dot must be in the last name";
    FileIconChoice text = ChooseFileIcon(WString(L"a\\Notes.TXT"));
    EXPECT_EQ(-1, text.shell32Index);
    EXPECT_EQ(WString(L".txt"), text.extension);
}

TEST(MenuSizes, ItemWidthAndItemsPerScreenAtEveryScale)
{
    MenuItemMetrics standard = MenuItemMetricsFor(16, 96);
    EXPECT_EQ(19, standard.itemHeight);
    EXPECT_EQ(2, standard.iconLeft);
    EXPECT_EQ(1, standard.top);
    EXPECT_EQ(16 + 4, standard.textLeft);
    EXPECT_EQ(80 + 16 + 4, MenuItemWidth(80, 5, standard));
    EXPECT_EQ(1 + 16 + 4, MenuItemWidth(9, 1, standard)) << "a one-unit text counts one pixel";
    EXPECT_EQ(1024 / 19 - 1, ItemsPerScreen(1024, standard.itemHeight));
    // 150%: 24-pixel icons and margins half as wide again, rounded.
    MenuItemMetrics half = MenuItemMetricsFor(24, 144);
    EXPECT_EQ(24 + 5, half.itemHeight);
    EXPECT_EQ(3, half.iconLeft);
    EXPECT_EQ(2, half.top);
    EXPECT_EQ(24 + 6, half.textLeft);
    EXPECT_EQ(120 + 24 + 6, MenuItemWidth(120, 5, half));
    EXPECT_EQ(51, ItemsPerScreen(1536, half.itemHeight)) << "the 1024 screen at 150%";
    // 200%: everything doubled.
    MenuItemMetrics twice = MenuItemMetricsFor(32, 192);
    EXPECT_EQ(38, twice.itemHeight);
    EXPECT_EQ(4, twice.iconLeft);
    EXPECT_EQ(2, twice.top);
    EXPECT_EQ(32 + 8, twice.textLeft);
    EXPECT_EQ(52, ItemsPerScreen(2048, twice.itemHeight));
    EXPECT_EQ(25, ItemsPerScreen(1024, twice.itemHeight)) << "fewer items on a screen of the same pixels";
}

// A program that ends at once handed the file on; the edit is still to come.
TEST(StoreWindow, ShownWhenTheProgramEndedQuicklyOrNoneStartedAndTheCopyIsUnchanged)
{
    EXPECT_TRUE(WaitsForStoreButton(false, 0, false)) << "the file went to a program already running";
    EXPECT_TRUE(WaitsForStoreButton(true, 300, false)) << "a launcher that returns at once";
    EXPECT_TRUE(WaitsForStoreButton(true, QuickEditorMilliseconds() - 1, false));
    EXPECT_FALSE(WaitsForStoreButton(true, QuickEditorMilliseconds(), false)) << "an editor that was used";
    EXPECT_FALSE(WaitsForStoreButton(true, 60000, false));
    EXPECT_FALSE(WaitsForStoreButton(true, 300, true)) << "a saved edit goes to the question at once";
    EXPECT_FALSE(WaitsForStoreButton(false, 0, true));
}

TEST(StoreWindow, PlacedInTheBottomRightOfTheWorkAreaAndKeptInside)
{
    POINT at = StoreWindowPosition(RECT{0, 0, 1280, 984}, SIZE{300, 100});
    EXPECT_EQ(1280 - 300 - 16, at.x);
    EXPECT_EQ(984 - 100 - 16, at.y);
    at = StoreWindowPosition(RECT{-1280, 40, 0, 1024}, SIZE{300, 100});
    EXPECT_EQ(-300 - 16, at.x) << "a monitor left of the main one";
    EXPECT_EQ(1024 - 100 - 16, at.y);
    at = StoreWindowPosition(RECT{100, 50, 300, 120}, SIZE{300, 100});
    EXPECT_EQ(100, at.x) << "too wide: the left edge stays visible";
    EXPECT_EQ(50, at.y) << "too high: the caption stays visible";
}
