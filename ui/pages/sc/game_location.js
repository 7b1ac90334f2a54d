// The game-location dialogs: the patcher's path typed, pasted or chosen, checked
// and stored by the program; mode 1 starts the game once it is stored.
(function () {
  "use strict";
  var mode = Number(document.body.getAttribute("data-mode"));
  var path = document.getElementById("path"), browse = document.getElementById("browse"), note = document.getElementById("note");

  browse.addEventListener("change", function () {
    if (browse.value) path.value = browse.value;
    path.focus();
  });

  function confirm() {
    var chosen = path.value.trim();
    if (chosen.indexOf("riftpatchchinese.exe") < 0) {
      Wendrake.setNote(note, "请选择 riftpatchchinese.exe（文件名为小写）。", "bad");
    }
    // The program checks the path itself and says what is wrong.
    window.external.SelectGameOK(chosen, mode);
    if (chosen.indexOf("riftpatchchinese.exe") >= 0 && window.external.IsExistGamePath() === 1) window.external.EndDialogBox();
  }
  function cancel() { window.external.EndDialogBox(); }
  document.getElementById("ok").addEventListener("click", confirm);
  document.getElementById("cancel").addEventListener("click", cancel);
  Wendrake.keys(confirm, cancel);
  path.focus();
})();
