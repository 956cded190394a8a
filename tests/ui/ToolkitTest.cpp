// The toolkit layer's arithmetic and resources: centring, anchoring,
// pictures, single instances.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "WidgetTest.h"
#include "ui/AnchoredGeometry.h"
#include "ui/CentraFinestra.h"
#include "ui/Picture.h"
#include "ui/SingleInstance.h"

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
  const QSize screen = QGuiApplication::screens().first()->geometry().size();
  const WindowPlace place = CentredPlace(screen, QSize(200, 101));
  EXPECT_EQ(window.geometry().topLeft(), QPoint(place.left, place.top));
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

TEST_F(SingleInstanceTest, FirstReferenceMakesLaterOnesReachAClosedOneIsMadeAfresh) {
  Counted::opened = 0;
  EXPECT_EQ(ui::Existing<Counted>(), nullptr);
  Counted& first = ui::Reach<Counted>();
  EXPECT_TRUE(first.isVisible());
  EXPECT_EQ(&ui::Reach<Counted>(), &first);
  EXPECT_EQ(Counted::opened, 1) << "Open runs once, while the window is made";

  first.close();  // deleted later, from the event loop
  EXPECT_EQ(ui::Existing<Counted>(), nullptr);
  Counted& second = ui::Reach<Counted>();
  EXPECT_NE(&second, &first);
  EXPECT_EQ(Counted::opened, 2);
  second.close();
}

}  // namespace
}  // namespace vantrix::test
