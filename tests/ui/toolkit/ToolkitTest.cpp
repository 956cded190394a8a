// The toolkit layer's arithmetic and resources: centring, anchoring,
// pictures, single instances.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "WidgetTest.h"
#include "ui/AboutWin.h"
#include "ui/FinestraHelp.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/AnchoredGeometry.h"
#include "ui/toolkit/CentraFinestra.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {
namespace {

using ui::Anchor;
using ui::CentredPlace;
using ui::WindowPlace;

TEST(CentredPlaceTest, HalfTheScreenLessHalfTheWindowFractionDropped) {
  struct Case {
    QSize screen;
    QSize window;
    WindowPlace expected;
  };
  const Case cases[] = {
      {{1440, 900}, {800, 600}, {150, 320}},
      {{1439, 900}, {800, 600}, {150, 319}},  // 319.5: the half is dropped
      {{1440, 901}, {800, 600}, {150, 320}},
      {{1920, 1080}, {600, 271}, {404, 660}},
      {{800, 600}, {800, 600}, {0, 0}},
      // Smaller than the window: negative, toward zero, and kept as is.
      {{640, 480}, {800, 600}, {-60, -80}},
      {{799, 599}, {800, 600}, {0, 0}},      // -0.5 goes to 0
      {{639, 480}, {800, 600}, {-60, -80}},  // -80.5 goes to -80
  };
  for (const Case& c : cases) {
    const WindowPlace place = CentredPlace(c.screen, c.window);
    EXPECT_EQ(place.top, c.expected.top) << c.screen.width() << "x" << c.screen.height();
    EXPECT_EQ(place.left, c.expected.left) << c.screen.width() << "x" << c.screen.height();
  }
}

using CentraFinestraTest = WidgetTest;

TEST_F(CentraFinestraTest, PlacesTheWindowAtItsCurrentSizeOnTheMainScreen) {
  QWidget window;
  window.resize(300, 101);
  window.show();
  window.resize(200, 101);
  ui::CentraFinestra(window);
  ASSERT_EQ(QGuiApplication::screens().first()->geometry(), QRect(0, 0, 800, 800))
      << "the offscreen platform's screen";
  // (800 - 200) / 2 across; (800 - 101) / 2 = 349.5 down, the half dropped.
  EXPECT_EQ(window.geometry(), QRect(300, 349, 200, 101));
}

TEST(AnchoredLayoutTest, ControlsKeepTheirDistanceToTheAnchoredEdges) {
  const QSize design(800, 600);
  const QSize grown(1000, 700);
  const QRect rect(100, 50, 200, 80);
  struct Case {
    ui::Anchors anchors;
    QRect expected;
  };
  const Case cases[] = {
      {{}, rect},
      {Anchor::Left | Anchor::Top, rect},
      {Anchor::Left | Anchor::Top | Anchor::Right, {100, 50, 400, 80}},
      {Anchor::Top | Anchor::Right, {300, 50, 200, 80}},
      {Anchor::Left | Anchor::Bottom, {100, 150, 200, 80}},
      {Anchor::Left | Anchor::Top | Anchor::Bottom, {100, 50, 200, 180}},
      {Anchor::Left | Anchor::Top | Anchor::Right | Anchor::Bottom, {100, 50, 400, 180}},
      {Anchor::Right | Anchor::Bottom, {300, 150, 200, 80}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ui::AnchoredGeometry::Layout(rect, c.anchors, design, grown), c.expected)
        << c.anchors.toInt();
}

TEST(AnchoredLayoutTest, FollowsTheContainerAsItResizes) {
  QWidget container;
  container.resize(400, 300);
  container.show();
  auto* child = new QWidget(&container);
  auto* anchors = new ui::AnchoredGeometry(&container, QSize(400, 300));
  anchors->Place(child, QRect(10, 20, 100, 50), Anchor::Left | Anchor::Right | Anchor::Bottom);
  EXPECT_EQ(child->geometry(), QRect(10, 20, 100, 50));
  container.resize(450, 330);
  QCoreApplication::processEvents();
  EXPECT_EQ(child->geometry(), QRect(10, 50, 150, 50));
}

TEST(PictureTest, ResourcesLoadOnceAndAreShared) {
  struct Case {
    const char* name;
    QSize size;
  };
  const Case cases[] = {{"logo_orvello.jpg", {600, 158}},
                        {"ok.jpg", {16, 16}},
                        {"err.jpg", {16, 16}},
                        {"alert.jpg", {16, 16}}};
  for (const Case& c : cases) {
    const QPixmap& first = ui::Picture(c.name);
    EXPECT_FALSE(first.isNull()) << c.name;
    EXPECT_EQ(first.size(), c.size) << c.name;
    EXPECT_EQ(&ui::Picture(c.name), &first) << c.name;
    EXPECT_EQ(ui::Picture(c.name).cacheKey(), first.cacheKey()) << c.name;
  }
  EXPECT_TRUE(ui::Picture("missing.jpg").isNull());
}

// A window class as the single-instance layer expects one.
class Counted : public QWidget {
public:
  static constexpr bool kVisibleAtCreation = true;
  static inline int opened = 0;
  void Open() { ++opened; }
};

using SingleInstanceTest = WidgetTest;

// Each window class has one instance: the first reference makes it (and runs
// its Open once), later ones reach it, and once it is closed the next one
// makes a fresh window. For a class of its own and for the program's windows.
TEST_F(SingleInstanceTest, FirstReferenceMakesLaterOnesReachAClosedOneIsMadeAfresh) {
  const struct {
    const char* name;
    QWidget* (*reach)();
    QWidget* (*existing)();
    bool visibleAtCreation;
    int* opened;  // counts Open, where the class does
  } cases[] = {
      {"a window class of the test", []() -> QWidget* { return &ui::Reach<Counted>(); },
       []() -> QWidget* { return ui::Existing<Counted>(); }, true, &Counted::opened},
      {"main window", []() -> QWidget* { return &ui::Reach<ui::FinestraPrincipale>(); },
       []() -> QWidget* { return ui::Existing<ui::FinestraPrincipale>(); }, true, nullptr},
      {"About", []() -> QWidget* { return &ui::Reach<ui::AboutWin>(); },
       []() -> QWidget* { return ui::Existing<ui::AboutWin>(); }, false, nullptr},
      {"Help", []() -> QWidget* { return &ui::Reach<ui::FinestraHelp>(); },
       []() -> QWidget* { return ui::Existing<ui::FinestraHelp>(); }, false, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    if (c.opened != nullptr) *c.opened = 0;
    EXPECT_EQ(c.existing(), nullptr);
    QWidget* first = c.reach();
    EXPECT_EQ(first->isVisible(), c.visibleAtCreation);
    EXPECT_EQ(c.existing(), first);
    EXPECT_EQ(c.reach(), first);
    if (c.opened != nullptr) {
      EXPECT_EQ(*c.opened, 1) << "Open runs once, while the window is made";
    }

    first->show();
    first->close();  // deleted later, from the event loop
    EXPECT_EQ(c.existing(), nullptr);
    QWidget* second = c.reach();
    EXPECT_NE(second, first);
    EXPECT_EQ(c.existing(), second);
    if (c.opened != nullptr) {
      EXPECT_EQ(*c.opened, 2);
    }
  }
}

}  // namespace
}  // namespace vantrix::test
