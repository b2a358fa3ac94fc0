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

namespace {

// The guide past its quick start: a section for each command a new user may look for. A command
// added to the window gets its sentence here (and its English in po/en.po), naming it in
// brackets by its caption; a test checks that the guide names every caption of the window's
// buttons and menus. Every line ends with one blank.
// Past a certain number of these long lines clang-format breaks the declaration apart.
// clang-format off
const char* const kCommandGuide[] = {
    // The write button's menu, and reading what it wrote.
    N_(R"(<BR><BR><B>密封写入</B><BR>要真正保密，请用密封代替[加密]。单击[写入数据]按钮右侧的小箭头(或在按钮上单击鼠标右键)打开写入菜单：[密封写入…]用密码密封文本框里的文字，[密封写入文件…]把一个文件(例如文档或照片)整个密封进图片。密码要输入两次。 )"),
    N_(R"(密封用 Argon2id 从密码派生密钥，用 XChaCha20-Poly1305 加密并认证数据：不知道密码就读不出内容，图片哪怕改动一位也会被发现。密封后别忘了按[保存图像]保存图片。 )"),
    N_(R"(读取密封的图片时按[读取数据]并输入密码：密封的是文字就显示在文本框里，是文件就询问保存到哪里。密码错误或图片已损坏时，程序提示“密码错误或数据已损坏”，不给出任何内容。 )"),
    // The keyed writes, and the read that finds them.
    N_(R"(<BR><BR><B>密钥自适应写入</B><BR>写入菜单里的[密钥自适应写入…]和[密钥自适应写入文件…]同样用密码密封文字或文件，但不从图片的左上角开始写：密码决定写在哪些字节，图片自己的纹理决定哪里的改动最不显眼，改动也少得多。这样写入的图片没有任何可见的标记，状态栏和[读取数据]都发现不了它。写入前程序说明这幅图片最多能放多少字节、多少字节以内不易被检测出来。 )"),
    N_(R"(读取时单击[读取数据]按钮右侧的小箭头(或在按钮上单击鼠标右键)，选择[凭密码读取…]并输入密码。密码错误、图片已损坏或图片里没有这样写入的内容，都只提示“密码错误或数据已损坏”：没有密码，谁也分不清这几种情况。 )"),
    N_(R"(从 JPEG 文件加载的图片，密钥自适应写入时程序会问是否保持为 JPEG：选“是”，内容写进 JPEG 自己的系数，不重新压缩，图片只能保存为 JPEG 文件，大小几乎不变；选“否”，内容写进像素，照常保存为 BMP 或 PNG。重新压缩过的 JPEG(换了质量或缩放过)就读不出内容了。 )"),
    // The picture's menu.
    N_(R"(<BR><BR><B>图片的菜单</B><BR>在图片上单击鼠标右键打开图片的菜单：[创建 芒德勃罗 不规则位图图像]、[创建 朱莉娅 不规则位图图像]、[创建 涡纹叶 不规则位图图像]、[创建 蕨菜叶 不规则位图图像]、[创建 枫树叶 不规则位图图像]和[创建 云纹绸 不规则位图图像]各画一种图形；下面还有[检测风险]和[隐蔽写入]。 )"),
    N_(R"(<BR><BR><B>检测风险</B><BR>选择[检测风险]，程序像检查者那样用几种常见的隐写分析方法检查图片的最低位：报告估计每个颜色通道里被改动的字节占多少、最低位里有没有能读出的文字，并把各通道的最低位显示成图像；刚写入过数据时，还标出这次写入改动了哪些字节。 )"),
    // The verdicts in general terms: their names and number may change.
    N_(R"(报告最后给出一个结论，分几级：从没有发现明显痕迹，到有可疑的痕迹，再到很容易被检测出来。结论只代表这些方法的看法：结论轻不能保证图片安全；结论重说明别人用同样的方法也能看出图片里藏有数据，这时可以换一幅细节丰富的照片、少写一些文字，或使用[隐蔽写入]。 )"),
    N_(R"(<BR><BR><B>隐蔽写入</B><BR>选中[隐蔽写入](菜单项前打勾)后，写入数据和密封写入不再直接替换字节的最低位，而是把需要改动的字节随机加一或减一：读出的内容完全一样，常见的检测方法却难以发现。再选一次即取消。 )"),
    // The text box's menu.
    N_(R"(<BR><BR><B>文本框的菜单</B><BR>在文本框上单击鼠标右键：[加载文本文件]把一个文本文件读进文本框，[保存此文本为文件]把文本框里的文字存为文本文件，[清理文本框!]清空文本框。把文本文件拖到文本框上也能加载它，把图片拖到窗口里则加载这幅图片。 )"),
    // The print menu.
    N_(R"(<BR><BR><B>打印</B><BR>按[打印图像]打开打印菜单：[以 25% 比例打印]、[以 50% 比例打印]、[以 75% 比例打印]和[以 100% 比例打印]把图片按页面能容纳的最大尺寸的相应比例打印在页面左上角；[打印预览]先显示打印出来的样子，在预览里也能换比例；[配置打印机]选择打印机和纸张，之后的打印都使用它。 )"),
    N_(R"(没有打印机时，在[配置打印机]里选择“打印到文件(PDF)”并给出文件名，再打印就得到一个 PDF 文件。 )"),
    // The rest of the toolbar.
    N_(R"(<BR><BR><B>其他按钮</B><BR>[解密]打开与[加密]相同的页面，用密码解密文本框里的文字；[帮助]打开本指导；[关闭]退出程序，写入了数据的图片还没保存时会先询问。每个按钮都有快捷键，把鼠标停在按钮上就能看到。 )"),
    // The command-line tool.
    N_(R"(<BR><BR><B>命令行工具</B><BR>在终端里可以用 pennacrow-cli 做同样的事：info 显示图片的大小、容量和其中的数据格式，hide 把文字写入图片(加 --seal 密封文字或文件，加 --stealth 即隐蔽写入)，reveal 读出隐藏的文字或密封的文件，encrypt 和 decrypt 加密、解密文字，convert 转换图片格式，fractal 画分形图片，formats 列出能打开的图片格式，analyze 检测风险。 )"),
    N_(R"(hide --seal --adaptive 是密钥自适应写入，reveal --adaptive 凭密码读出它；info 看不出这样写入的图片里有数据。 )"),
    N_(R"(从 JPEG 写到 .jpg 文件时(hide --seal --adaptive -o OUT.jpg)，内容写进 JPEG 自己的系数，结果仍是 JPEG；--strip-metadata 去掉 EXIF 等元数据。 )"),
    N_(R"(密码从不写在命令行上，而是从文件、环境变量 PENNACROW_PASSWORD 或提示中读取。每个命令的用法见 pennacrow-cli 命令名 --help 和下面的手册。 )"),
};
// clang-format on

}  // namespace

QStringList HelpGuideLines(const QString& documentDir) {
  const auto link = [&documentDir](const char* document) {
    return QUrl::fromLocalFile(documentDir + '/' + document).toString(QUrl::FullyEncoded);
  };
  // Every line ends with a blank that belongs to the text: the two-line section titles
  // ("高级 特性", "加密／ 解密") get theirs from it.
  QStringList lines{
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
  };
  for (const char* line : kCommandGuide) lines << QTr(line);
  lines
      << QTr(R"(<BR><BR><B>祝您使用愉快！</B><BR><BR>如有问题或建议，请与 Pennacrow 团队联系；命令行工具 pennacrow-cli 的用法见其手册页(man pennacrow-cli)。 )")
      << QString(QTr(R"(<BR><BR><B>相关资料</B><BR><A HREF="%1">本机上的 Pennacrow 说明文件</A> )"))
             .arg(link("README"))
      << QString(QTr(R"(<BR><A HREF="%1">命令行工具 pennacrow-cli 手册</A> )"))
             .arg(link("pennacrow-cli.txt"))
      << R"(</FONT></P> )";
  return lines;
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
  t->setAccessibleName(Panel3->text());
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
