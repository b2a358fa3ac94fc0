#include "app/HelpForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app/Language.h"
#include "app/Startup.h"
#include "controls/HtmlTextView.h"

namespace pennacrow {

THelpForm* HelpForm = nullptr;

QString HelpDocumentDir(const QString& programDir) {
  // Installed: <prefix>/bin/pennacrow beside <prefix>/share/doc/pennacrow, whatever the prefix.
  // Uninstalled: the build tree keeps the documents in doc/ beside the program.
  const QString installed = QDir::cleanPath(programDir + "/../share/doc/pennacrow");
  for (const QString& dir : {installed, QDir::cleanPath(programDir + "/doc")}) {
    if (QFileInfo::exists(dir + "/README")) return dir;
  }
  return installed;
}

QStringList HelpGuideLines(const QString& documentDir) {
  const auto link = [&documentDir](const char* document) {
    return QUrl::fromLocalFile(documentDir + '/' + document).toString(QUrl::FullyEncoded);
  };
  // Every line ends with a blank that belongs to the text: the two-line section titles
  // ("高级 特性", "加密／ 解密") get theirs from it.
  return {
      QTr(R"(<P ALIGN="center"><FONT FACE="Tahoma" COLOR="#400080" SIZE="12"><B><U>Pennacrow v2.0 汉化版 上手指导</U></B></FONT></P> )"),
      QTr(R"(<P ALIGN="left"><FONT FACE="Tahoma" SIZE="8"><BR><BR><BR>欢迎使用 Pennacrow！本程序把您的私密文字藏进图片之中，而图片看上去与原来毫无二致。 )"),
      QTr(R"(制作一幅带有隐藏文字的图片：先按[加载图像]打开一幅图片，本程序能打开多种格式的图片，但只能保存为 BMP 或 PNG 格式。 )"),
      QTr(R"(图片显示在窗口中，状态栏显示图片可容纳的数据大小和图片中数据的版本信息。 )"),
      QTr(R"(在图片下方的文本框中输入您的私密文字，按[写入数据]把文字嵌入图片，再按[保存图像]把图片保存为“位图(.BMP)”或“可移植的网络图片(.PNG)”。 )"),
      QTr(R"(<BR><BR><B>查看已保存的文件</B><BR>按[加载图像]加载图片。若状态栏显示“Pennacrow Ver 2.0，未加密”，说明图片中藏有数据。 )"),
      QTr(R"(这时按[读取数据]即可在图片下方的文本框中看到隐藏的文字。 )"),
      QTr(R"(<BR><BR><B>高级 )"),
      QTr(R"(特性</B><BR>本程序还有几项增强数据安全性的特性。 )"),
      QTr(R"(<BR><BR><B>加密／ )"),
      QTr(R"(解密</B><BR>输入文字之后、写入数据之前，按[加密]打开加密页面，输入密码即可加密文字，按[关闭]离开该页面；随后像平常一样写入加密后的文字。 )"),
      QTr(R"(读取数据已加密的图片时，按[读取数据]会打开解密页面，输入密码即可解密。 )"),
      QTr(R"(本程序用 RC-4 流密码加密数据，用 SHA 散列算法处理密码。 )"),
      QTr(R"(<BR><BR><B>自动创建图像</B><BR>本程序能创建不规则图形(分形)图片：像平常一样加载一幅图片(也可以跳过这一步)。 )"),
      QTr(R"(然后在图片上单击鼠标右键，选择一种不规则图形命令即可。 )"),
      QTr(R"(生成的图片同样可以写入普通数据或加密数据，并保存为一幅看似普通的图片 ^_^ )"),
      QTr(R"(<BR><BR><B>祝您使用愉快！</B><BR><BR>如有问题或建议，请与 Pennacrow 团队联系；命令行工具 pennacrow-cli 的用法见其手册页(man pennacrow-cli)。 )"),
      QString(QTr(R"(<BR><BR><B>相关资料</B><BR><A HREF="%1">本机上的 Pennacrow 说明文件</A> )"))
          .arg(link("README")),
      QString(QTr(R"(<BR><A HREF="%1">命令行工具 pennacrow-cli 手册</A> )"))
          .arg(link("pennacrow-cli.txt")),
      R"(</FONT></P> )",
  };
}

QStringList HelpGuideLines() {
  // Built each time the window opens: the guide follows the language, which tests change.
  return HelpGuideLines(HelpDocumentDir(QCoreApplication::applicationDirPath()));
}

THelpForm::THelpForm(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QTr("Pennacrow 帮助"));
  setFont(ShellFont(12));
  setModal(true);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel3 = new QLabel(QTr("Pennacrow 上手指导"), this);
  Panel3->setObjectName("Panel3");
  Panel3->setFixedHeight(27);
  Panel3->setAlignment(Qt::AlignCenter);
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel3->setAutoFillBackground(true);
  QFont bannerFont = ShellFont(14);
  bannerFont.setBold(true);
  Panel3->setFont(bannerFont);
  QPalette bannerColours = Panel3->palette();
  bannerColours.setColor(QPalette::Window, QColor(99, 148, 198));
  bannerColours.setColor(QPalette::WindowText, Qt::white);
  Panel3->setPalette(bannerColours);
  column->addWidget(Panel3);

  t = new THtmlTextView(this);
  t->setObjectName("t");
  t->SetAutoScroll(true);
  t->SetMiniScroll(true);
  t->SetVAlignment(TTextVAlignment::tvaTop);
  t->SetShadowOffset(1);
  t->SetHTMLText(HelpGuideLines());
  column->addWidget(t, 1);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(31);
  Button1 = new QPushButton(QTr("关闭(&C)"), Panel1);
  Button1->setObjectName("Button1");
  Button1->setGeometry(213, 3, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &THelpForm::Button1Click);
  column->addWidget(Panel1);

  resize(648, 632);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  HelpForm = this;
}

THelpForm::~THelpForm() {
  if (HelpForm == this) HelpForm = nullptr;
}

void THelpForm::Button1Click() {
  done(QDialog::Accepted);
}

}  // namespace pennacrow
