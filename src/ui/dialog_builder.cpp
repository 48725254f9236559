#include "ui/dialog_builder.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QUiLoader>

#include "ui/skin.h"

namespace ui {

namespace {

class SkinLoader : public QUiLoader {
 public:
  explicit SkinLoader(const ControlFactory& factory) : m_factory(factory) {}

  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* widget = m_factory ? m_factory(className, parent) : nullptr;
    if (!widget && availableWidgets().contains(className))
      widget = QUiLoader::createWidget(className, parent, name);
    // A class neither the program nor the toolkit knows still gets a place in the layout.
    if (!widget) widget = new QWidget(parent);
    widget->setObjectName(name);
    return widget;
  }

 private:
  const ControlFactory& m_factory;
};

}  // namespace

QWidget* CDialogBuilder::CreateFromText(const QByteArray& xml, const ControlFactory& factory,
                                        QWidget* parent) {
  if (xml.isEmpty()) return nullptr;
  SkinLoader loader(factory);
  QString folder = SkinFilePath("style.qss");
  if (!folder.isEmpty()) loader.setWorkingDirectory(QFileInfo(folder).dir());
  QByteArray copy = xml;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  return loader.load(&buffer, parent);
}

QWidget* CDialogBuilder::Create(const QString& layout, const ControlFactory& factory,
                                QWidget* parent) {
  if (layout != m_layout || m_xml.isEmpty()) {
    m_layout = layout;
    m_xml = ReadSkinFile(layout);
  }
  if (m_xml.isEmpty()) {
    m_error = "layout not found in the skin: " + layout;
    return nullptr;
  }
  QWidget* widget = CreateFromText(m_xml, factory, parent);
  m_error = widget ? QString() : "layout could not be built: " + layout;
  return widget;
}

}  // namespace ui
