// The game location pages: the mode tells whether the game starts once chosen.
(function () {
  var mode = Number(document.body.getAttribute("data-mode"));
  document.body.innerHTML =
    '<div class="band">请选择游戏程序</div>' +
    '<div class="content"><label>riftpatchchinese.exe 的完整路径' +
    '<input id="path" placeholder="/home/.../drive_c/Rift/riftpatchchinese.exe"></label>' +
    '<div class="actions"><button id="cancel">取消</button> <button id="ok">确定</button></div></div>';
  function choose() {
    window.external.SelectGameOK(document.getElementById("path").value, mode);
    if (window.external.IsExistGamePath() == 1) window.external.EndDialogBox();
  }
  document.getElementById("ok").onclick = choose;
  document.getElementById("cancel").onclick = function () { window.external.EndDialogBox(); };
  window.KeyPressed = function (key) {
    if (key == "VK_RETURN") choose(); else window.external.EndDialogBox();
  };
})();
