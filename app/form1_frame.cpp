// Form1's borderless frame: the title strip drags the window (snapping to the screen's edges),
// the close label shows its hover picture and closes the window.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include "app/controls.h"
#include "app/form1.h"

namespace permscope::app {

namespace {

bool platform_ignores_client_moves() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

bool Form1::title_mouse_event(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:  // the second press of a double click
            begin_drag(static_cast<QMouseEvent*>(event)->position());
            return true;
        case QEvent::MouseMove:
            ImgEnde->clear();
            if (DragActive)
                drag_to(static_cast<QMouseEvent*>(event)->globalPosition());
            return true;
        case QEvent::MouseButtonRelease:
            end_drag();
            return true;
        default:
            return false;
    }
}

void Form1::begin_drag(const QPointF& position) {
    DragActive = true;
    drag_start_ = DragStart{drag_start_coordinate(pixels_to_twips(position.x())),
                            drag_start_coordinate(pixels_to_twips(position.y()))};
    lblFormHead->setCursor(Qt::SizeAllCursor);
    if (platform_ignores_client_moves() && windowHandle() != nullptr)
        system_move_ = windowHandle()->startSystemMove();
}

void Form1::drag_to(const QPointF& global_position) {
    if (system_move_)
        return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect screen_rect = screen->geometry();
    const QPoint window_origin = pos() - screen_rect.topLeft();
    // The mouse inside the title strip, as the strip sees it at the window's current place.
    const QPointF inside_strip = global_position - QPointF(pos() + lblFormHead->pos());
    const DragGeometry geometry{
        pixels_to_twips(window_origin.x()),
        pixels_to_twips(window_origin.y()),
        pixels_to_twips(width()),
        pixels_to_twips(height()),
        pixels_to_twips(screen_rect.width()),
        pixels_to_twips(screen_rect.height()),
    };
    const TwipPoint target =
        dragged_window_position(geometry, drag_start_, pixels_to_twips(inside_strip.x()),
                                pixels_to_twips(inside_strip.y()));
    move(screen_rect.left() + twips_to_pixels(target.left),
         screen_rect.top() + twips_to_pixels(target.top));
}

void Form1::end_drag() {
    DragActive = false;
    system_move_ = false;
    lblFormHead->unsetCursor();
}

bool Form1::close_label_mouse_event(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true;  // taken, so that the release comes back here
        case QEvent::MouseMove:
            show_hover_picture();
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                cmdEnde->rect().contains(mouse->position().toPoint()))
                close();
            return true;
        }
        default:
            return false;
    }
}

void Form1::show_hover_picture() {
    // Read afresh at every move; a missing or unreadable file gives an empty picture.
    const QPixmap picture(QCoreApplication::applicationDirPath() + QStringLiteral("/btnende.jpg"));
    ImgEnde->setPixmap(picture);
}

}  // namespace permscope::app
