// The CLAP build's panel on Linux, embedded in a host window of an X server of
// the test's own (Xvfb): it opens as a child of the host's window at the
// panel's size, closes again (twice over), and a knob dragged with XTest
// reaches the host as edits of its parameter inside a gesture; the host's 2x
// scale gives the 2x panel, and a program chosen from the panel's menu reaches
// the host as its values. A panel window the host enlarges shows the panel once
// and its edge colour around it. The LV2 panel tells its host its size through
// ui:resize. The suite skips where no Xvfb can be started.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lv2/atom.h"
#include "lv2/options.h"
#include "lv2/parameters.h"
#include "lv2/ui.h"
#include "lv2/urid.h"

#include "tests/formats/ClapHost.h"
#include "tests/formats/ProgramEdits.h"
#include "tests/support/Xvfb.h"

namespace {

std::vector<Window> children(Display* display, Window window) {
    Window root = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display, window, &root, &parent, &list, &count)) out.assign(list, list + count);
    if (list) XFree(list);
    return out;
}

class X11Panel : public ::testing::Test {
protected:
    void SetUp() override {
        if (Xvfb::programDisplay().empty()) GTEST_SKIP() << "no Xvfb to start";
        display = XOpenDisplay(Xvfb::programDisplay().c_str());
        ASSERT_NE(display, nullptr);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 700, 400, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
        module = std::make_unique<ClapModule>(HAMMERLYN2_CLAP_PATH);
        ASSERT_TRUE(module->loaded()) << module->error();
        clap = ClapInstance::create(*module, "com.quillfeather.hammerlyn2");
        ASSERT_NE(clap, nullptr);
        ASSERT_TRUE(clap->activate(44100.0, 512));
        gui = clap->gui();
        ASSERT_NE(gui, nullptr);
        ASSERT_TRUE(gui->is_api_supported(clap->plugin(), CLAP_WINDOW_API_X11, false));
    }
    void TearDown() override {
        clap.reset();
        module.reset();
        if (display) XCloseDisplay(display);
    }
    // Opens the panel in the host window and lets it settle.
    void openPanel() {
        ASSERT_TRUE(gui->create(clap->plugin(), CLAP_WINDOW_API_X11, false));
        uint32_t width = 0, height = 0;
        ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
        EXPECT_EQ(width, 512u);
        EXPECT_EQ(height, 272u);
        clap_window_t window{};
        window.api = CLAP_WINDOW_API_X11;
        window.x11 = parent;
        ASSERT_TRUE(gui->set_parent(clap->plugin(), &window));
        ASSERT_TRUE(gui->show(clap->plugin()));
        settle();
    }
    void settle() {
        for (int i = 0; i < 20; ++i) {
            XSync(display, False);
            clap->runTimers();
            usleep(5000);
        }
    }

    Display* display = nullptr;
    Window parent = 0;
    std::unique_ptr<ClapModule> module;
    std::unique_ptr<ClapInstance> clap;
    const clap_plugin_gui_t* gui = nullptr;
};

}  // namespace

TEST_F(X11Panel, OpensInTheHostWindowAtItsSizeAndClosesAgain) {
    for (int round = 0; round < 2; ++round) {
        ASSERT_NO_FATAL_FAILURE(openPanel());
        const std::vector<Window> inside = children(display, parent);
        ASSERT_EQ(inside.size(), 1u) << "round " << round;
        XWindowAttributes attributes{};
        ASSERT_TRUE(XGetWindowAttributes(display, inside.front(), &attributes));
        EXPECT_EQ(attributes.width, 512);
        EXPECT_EQ(attributes.height, 272);
        EXPECT_EQ(attributes.map_state, IsViewable);
        gui->hide(clap->plugin());
        gui->destroy(clap->plugin());
        XSync(display, False);
        EXPECT_TRUE(children(display, parent).empty()) << "round " << round;
    }
}

TEST_F(X11Panel, KnobTurnsReachTheHostAsEditsWithGestures) {
    ASSERT_NO_FATAL_FAILURE(openPanel());
    int x = 0, y = 0;
    Window child = 0;
    // The SAW knob's centre on the screen; 40 pixels up turn it by a fifth.
    XTranslateCoordinates(display, parent, DefaultRootWindow(display), 108, 44, &x, &y, &child);
    const double before = clap->parameterValue(1);
    XTestFakeMotionEvent(display, -1, x, y, 0);
    settle();
    XTestFakeButtonEvent(display, 1, True, 0);
    settle();
    XTestFakeMotionEvent(display, -1, x, y - 20, 0);
    settle();
    XTestFakeMotionEvent(display, -1, x, y - 40, 0);
    settle();
    XTestFakeButtonEvent(display, 1, False, 0);
    settle();
    std::vector<float> left(64), right(64);
    ASSERT_TRUE(clap->process({}, left.data(), right.data(), 64));
    const auto& sent = clap->sent();
    ASSERT_GE(sent.size(), 3u) << "the edit did not reach the host";
    EXPECT_EQ(sent.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
    EXPECT_EQ(sent.back().type, CLAP_EVENT_PARAM_GESTURE_END);
    for (std::size_t i = 1; i + 1 < sent.size(); ++i) EXPECT_EQ(sent[i].type, CLAP_EVENT_PARAM_VALUE);
    for (const ClapOutEvent& event : sent) EXPECT_EQ(event.parameter, 1u);
    EXPECT_NEAR(clap->parameterValue(1), before + 0.2, 1e-6);
    gui->destroy(clap->plugin());
}

// The host's scale of 2 (CLAP set_scale before the window) gives the 2x panel
// and size; a program chosen from the panel's menu (drawn into the panel, 2x
// metrics) reaches the host as sixteen edits, each inside a gesture, with the
// program's values, and the plug-in takes them; a new scale while open asks
// the host to resize: refused, the panel keeps its size, granted, it resizes.
TEST_F(X11Panel, HostScaleTwoGivesTheDoublePanelAndItsMenuLoadsAProgramAsEdits) {
    XResizeWindow(display, parent, 1024, 600);
    XSync(display, False);
    ASSERT_TRUE(gui->create(clap->plugin(), CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(gui->set_scale(clap->plugin(), 2.0));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 544u);
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(clap->plugin(), &window));
    ASSERT_TRUE(gui->show(clap->plugin()));
    settle();
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 544u);
    const std::vector<Window> inside = children(display, parent);
    ASSERT_EQ(inside.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, inside.front(), &attributes));
    EXPECT_EQ(attributes.width, 1024);
    EXPECT_EQ(attributes.height, 544);

    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, parent, DefaultRootWindow(display), 800, 200, &x, &y, &child);
    XTestFakeMotionEvent(display, -1, x, y, 0);
    settle();
    XTestFakeButtonEvent(display, 3, True, 0);
    XTestFakeButtonEvent(display, 3, False, 0);
    settle();
    // Below a 2-pixel border: two sizes 13 pixels high, a 5-pixel separator,
    // then the programs; every length doubled.
    XTestFakeMotionEvent(display, -1, x + 40, y + 2 * (2 + 13 + 13 + 5 + 3 * 13 + 6), 0);
    settle();
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    settle();
    std::vector<float> left(64), right(64);
    ASSERT_TRUE(clap->process({}, left.data(), right.data(), 64));
    EXPECT_TRUE(programArrivedAsEdits(*clap, 3));
    // A new scale while open asks the host to resize; refused, the panel keeps
    // its size, and granted, the panel takes the new one.
    clap->refuseResizes = true;
    clap->resizeRequests = 0;
    ASSERT_TRUE(gui->set_scale(clap->plugin(), 1.0));
    settle();
    EXPECT_GE(clap->resizeRequests, 1);
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 1024u);
    EXPECT_EQ(height, 544u);
    const std::vector<Window> refused = children(display, parent);
    ASSERT_EQ(refused.size(), 1u);
    ASSERT_TRUE(XGetWindowAttributes(display, refused.front(), &attributes));
    EXPECT_EQ(attributes.width, 1024);
    EXPECT_EQ(attributes.height, 544);
    clap->refuseResizes = false;
    ASSERT_TRUE(gui->set_scale(clap->plugin(), 1.25));
    settle();
    ASSERT_TRUE(gui->get_size(clap->plugin(), &width, &height));
    EXPECT_EQ(width, 512u);
    EXPECT_EQ(height, 272u);
    const std::vector<Window> after = children(display, parent);
    ASSERT_EQ(after.size(), 1u);
    ASSERT_TRUE(XGetWindowAttributes(display, after.front(), &attributes));
    EXPECT_EQ(attributes.width, 512);
    EXPECT_EQ(attributes.height, 272);
    gui->destroy(clap->plugin());
}

// The host enlarges the panel's window: the panel shows once, at (0, 0), and
// the rest is its edge colour (an X11 window background would repeat it).
TEST_F(X11Panel, AnEnlargedPanelWindowShowsThePanelOnceAndPlainColourAround) {
    ASSERT_NO_FATAL_FAILURE(openPanel());
    const std::vector<Window> inside = children(display, parent);
    ASSERT_EQ(inside.size(), 1u);
    XResizeWindow(display, inside.front(), 700, 400);
    settle();
    XImage* image = XGetImage(display, parent, 0, 0, 700, 400, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long edge = XGetPixel(image, 511, 271);
    int outside = 0, differing = 0, panelColours = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 700; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            if (x >= 512 || y >= 272) {
                ++outside;
                differing += pixel != edge;
            } else {
                panelColours += pixel != edge;
            }
        }
    XDestroyImage(image);
    EXPECT_EQ(differing, 0) << "of " << outside << " pixels beside and below the panel";
    EXPECT_GT(panelColours, 10000) << "the panel itself shows";
    gui->destroy(clap->plugin());
}

namespace {

// What an LV2 host gives a panel: URIDs, and a ui:resize that records.
struct Lv2UiHost {
    std::vector<std::string> uris;
    std::vector<std::pair<int, int>> sizes;
    static LV2_URID map(LV2_URID_Map_Handle self, const char* uri) {
        auto& uris = static_cast<Lv2UiHost*>(self)->uris;
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
    static int resize(LV2UI_Feature_Handle self, int width, int height) {
        static_cast<Lv2UiHost*>(self)->sizes.emplace_back(width, height);
        return 0;
    }
    static void write(LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {}
};

}  // namespace

// The LV2 panel, made in the host's window, asks the host for its size: 512 x
// 272, and 1024 x 544 at the host's scale of 2; its window has that size.
TEST_F(X11Panel, Lv2PanelTellsTheHostItsSizeWhenItIsMade) {
    void* module = dlopen(HAMMERLYN2_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto descriptorOf = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(module, "lv2ui_descriptor"));
    ASSERT_NE(descriptorOf, nullptr);
    const LV2UI_Descriptor* descriptor = descriptorOf(0);
    ASSERT_NE(descriptor, nullptr);
    for (float scale : {1.0f, 2.0f}) {
        Lv2UiHost host;
        LV2_URID_Map map{&host, &Lv2UiHost::map};
        LV2UI_Resize resize{&host, &Lv2UiHost::resize};
        const LV2_URID floatType = Lv2UiHost::map(&host, LV2_ATOM__Float);
        const float rate = 44100.0f;
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, Lv2UiHost::map(&host, LV2_PARAMETERS__sampleRate), sizeof(float), floatType, &rate},
            {LV2_OPTIONS_INSTANCE, 0, Lv2UiHost::map(&host, LV2_UI__scaleFactor), sizeof(float), floatType, &scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature mapFeature{LV2_URID__map, &map}, resizeFeature{LV2_UI__resize, &resize},
            parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)},
            optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)},
            idleFeature{LV2_UI__idleInterface, nullptr};
        const LV2_Feature* features[] = {&mapFeature, &resizeFeature, &parentFeature, &optionsFeature, &idleFeature,
                                         nullptr};
        LV2UI_Widget widget = nullptr;
        LV2UI_Handle ui = descriptor->instantiate(descriptor, "urn:quillfeather:hammerlyn2", HAMMERLYN2_LV2_BUNDLE,
                                                  &Lv2UiHost::write, nullptr, &widget, features);
        ASSERT_NE(ui, nullptr) << scale;
        const std::pair<int, int> expected(static_cast<int>(512 * scale), static_cast<int>(272 * scale));
        const std::vector<std::pair<int, int>> asked{expected};
        EXPECT_EQ(host.sizes, asked) << scale;
        XWindowAttributes attributes{};
        ASSERT_TRUE(XGetWindowAttributes(display, static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget)),
                                         &attributes));
        EXPECT_EQ(std::make_pair(attributes.width, attributes.height), expected) << scale;
        descriptor->cleanup(ui);
        XSync(display, False);
    }
    dlclose(module);
}
