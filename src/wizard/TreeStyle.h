#pragma once

#include <QProxyStyle>
#include <memory>

// The pack trees drawn as the classic tree view draws them: dotted connector
// lines with plus and minus boxes, and check boxes that read clearly on the
// lists' button-face background (white box, dark outline, dark tick).
// Everything else is the application's style.
class TreeStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // One per application, owned by it; trees only borrow it.
    static TreeStyle* instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    TreeStyle();
    ~TreeStyle() override;

    // The classic branch drawing, where the platform offers it.
    std::unique_ptr<QStyle> m_classic;
};
