#include "ui/layout.hpp"

#include <array>

namespace quorvel::ui {

using form::ControlSpec;
using form::Kind;
using form::kWindowId;

namespace {

// clang-format off
constexpr std::array kControls = {
  //          id                    kind              parent     x    y    w    h   caption                                on     disabled tab
  ControlSpec{透明标签1,            Kind::HintLabel,  kWindowId, {11, 125, 240, 272}, kHintText,                               false, false, false},
  ControlSpec{选择框_只搜索不复制,  Kind::CheckBox,   kWindowId, {277, 48, 475, 16},  "只显示搜索到的文件，不复制到保存路径。", false, false, true},
  ControlSpec{单选框_模糊搜索,      Kind::Radio,      外形框2,   {8, 27, 576, 16},
              "模糊搜索(只要填写文件名的任意关键字，即可搜索出所有包含这关键字的文件，一行一个关键字)", false, false, true},
  ControlSpec{单选框_精确搜索,      Kind::Radio,      外形框2,   {8, 8, 576, 16},
              "精确搜索(要搜索的文件名需要填写完整准确，一行一个文件名，可以不写扩展名)",             true,  false, true},
  ControlSpec{外形框2,              Kind::Frame,      kWindowId, {8, 69, 744, 48},   {},                                   false, false, false},
  ControlSpec{单选框_指定路径,      Kind::Radio,      外形框1,   {175, 5, 145, 24},  "搜索指定路径(快速)",                 true,  false, true},
  ControlSpec{单选框_整个电脑,      Kind::Radio,      外形框1,   {8, 5, 160, 24},    "搜索整个电脑(速度稍慢)",             false, false, true},
  ControlSpec{外形框1,              Kind::Frame,      kWindowId, {272, 9, 480, 32},  {},                                   false, false, false},
  ControlSpec{标签_状态,            Kind::Label,      kWindowId, {8, 456, 424, 16},  {},                                   false, false, false},
  ControlSpec{按钮_删除原始路径文件, Kind::Button,    kWindowId, {437, 424, 211, 30}, "删除原路径文件(慎重:不可恢复)",      false, true,  true},
  ControlSpec{按钮_未搜索到文件,    Kind::Button,     kWindowId, {274, 424, 142, 30}, "未搜索到的文件列表",                false, true,  true},
  ControlSpec{按钮_查看搜索保存结果, Kind::Button,    kWindowId, {104, 424, 127, 30}, "查看复制成功的文件",                false, true,  true},
  ControlSpec{按钮_搜索路径,        Kind::Button,     kWindowId, {214, 8, 50, 25},   "<<<",                                false, false, true},
  ControlSpec{标签1,                Kind::Label,      kWindowId, {8, 40, 51, 24},    "保存路径",                           false, false, false},
  ControlSpec{编辑框_保存路径,      Kind::Edit,       kWindowId, {66, 40, 138, 24},  {},                                   false, false, true},
  ControlSpec{按钮_保存路径,        Kind::Button,     kWindowId, {214, 40, 50, 24},  "<<<",                                false, false, true},
  ControlSpec{超级列表框1,          Kind::ListView,   kWindowId, {277, 120, 475, 296},
              "文件路径(双击可以打开，右键可以复制选定的文件)",                                           false, false, true, 600},
  ControlSpec{标签2,                Kind::Label,      kWindowId, {8, 8, 51, 25},     "搜索路径",                           false, false, false},
  ControlSpec{按钮_立即搜索,        Kind::Button,     kWindowId, {6, 424, 74, 30},   "立即搜索",                           false, false, true},
  ControlSpec{编辑框_搜索路径,      Kind::Edit,       kWindowId, {66, 8, 138, 25},   {},                                   false, false, true},
  ControlSpec{编辑框_文件名,        Kind::MultiEdit,  kWindowId, {6, 119, 266, 297}, {},                                   false, false, true},
  ControlSpec{时钟1,                Kind::Timer,      kWindowId, {},                 {},                                   false, false, false},
};
// clang-format on

constexpr std::array<form::ControlId, 15> kTabOrder = {
    编辑框_文件名,     编辑框_搜索路径,       按钮_立即搜索,       超级列表框1,
    按钮_保存路径,     编辑框_保存路径,       按钮_搜索路径,       按钮_查看搜索保存结果,
    按钮_未搜索到文件, 按钮_删除原始路径文件, 单选框_整个电脑,     单选框_指定路径,
    单选框_精确搜索,   单选框_模糊搜索,       选择框_只搜索不复制,
};

}  // namespace

const form::WindowSpec& mainWindowSpec() {
  static const form::WindowSpec spec = [] {
    form::WindowSpec s;
    s.caption = kCaption;
    s.outerWidth = 760;
    s.outerHeight = 507;
    s.minClientWidth = 752;
    s.minClientHeight = 472;
    s.controls = kControls;
    s.tabOrder = kTabOrder;
    s.menu = {菜单, "菜单", 文件复制到, "文件复制到"};
    s.iconResource = ":/quorvel/icon.svg";
    return s;
  }();
  return spec;
}

}  // namespace quorvel::ui
