// The main window as data: its controls, popup menu and tab order. The form runtime builds the
// widgets from this table; the handlers name controls by these ids.
#pragma once

#include <string_view>

#include "form/form.hpp"

namespace quorvel::ui {

// In the window's z-order, topmost first.
enum Id : form::ControlId {
  透明标签1,
  选择框_只搜索不复制,
  单选框_模糊搜索,
  单选框_精确搜索,
  外形框2,
  单选框_指定路径,
  单选框_整个电脑,
  外形框1,
  标签_状态,
  按钮_删除原始路径文件,
  按钮_未搜索到文件,
  按钮_查看搜索保存结果,
  按钮_搜索路径,
  标签1,
  编辑框_保存路径,
  按钮_保存路径,
  超级列表框1,
  标签2,
  按钮_立即搜索,
  编辑框_搜索路径,
  编辑框_文件名,
  时钟1,
  菜单,
  文件复制到,
};

inline constexpr std::string_view kCaption = "QuorvelV4.0 批量文件查找助手";
// The hint over the names box: a line of advice and six example names.
inline constexpr std::string_view kHintText =
    "请在这里输入您要搜索的文件名，例如：\r\n"
    "202301150930120001.jpg\r\n"
    "202302201415330002.jpg\r\n"
    "202303081122450003.jpg\r\n"
    "202304121708560004.jpg\r\n"
    "202305260845070005.jpg\r\n"
    "202306301933180006.jpg";

// The window's description, built once.
const form::WindowSpec& mainWindowSpec();

}  // namespace quorvel::ui
