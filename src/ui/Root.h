#pragma once
// Root: the program's one window. Its controls, its start-up, its layout, its scroll model
// and its three commands.

#include "runtime/Form.h"
#include "runtime/PictureBox.h"
#include "runtime/ScrollBar.h"

#include <memory>

class PictureViewer;

class Root : public rt::Form {
public:
    Root();
    ~Root() override;

    // The controls, in tab order.
    rt::CommandButton BGerät{*this, QStringLiteral("&Geräte")};
    rt::CommandButton BScannen{*this, QStringLiteral("&Bilddatei")};
    rt::CommandButton BAblage{*this, QStringLiteral("&Ablage")};
    rt::PictureBox Picture1{*this};
    rt::ScrollBar VScroll1{*this, Qt::Vertical};
    rt::ScrollBar HScroll1{*this, Qt::Horizontal};
    rt::PictureBox Picture2{Picture1}; // inside the viewport
    rt::PictureBox PResize{*this};

    // Start-up, layout and scrolling.
    void Form_Load();
    void Form_Resize();
    void Scroll_Reading();
    void HScroll1_Change();
    void VScroll1_Change();

    // The commands.
    void BGerät_Click();
    void BScannen_Click();
    void BAblage_Click();

    // Wheel, keys, zoom, the picture's context menu, saving and dragging out.
    PictureViewer &viewer() { return *viewer_; }

private:
    bool scannerCommandRunning_ = false;
    std::unique_ptr<PictureViewer> viewer_;
};
