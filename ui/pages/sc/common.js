// What every page of the set shares: its skin, the page codes of its messages,
// and Enter and Escape, which the program hands to KeyPressed.
(function () {
  "use strict";
  var SKINS = { 1: "default", 2: "light", 3: "jade" };
  var W = (window.Wendrake = {});

  // ChangeSkin with a text that names no skin changes nothing and tells the stored one.
  W.skin = function () {
    var n = parseInt(window.external.ChangeSkin(""), 10);
    return SKINS[n] ? n : 1;
  };
  W.applySkin = function (n) {
    document.getElementById("theme").href = "../../skin/" + SKINS[n] + "/css/theme.css";
  };
  W.applySkin(W.skin());

  // Codes the pages raise, beside the program's own (error.html has the texts).
  W.codes = {
    installed: "2001", updated: "2002", removed: "2003", notRemoved: "2004", notCatalogued: "2005",
    noAddOnInPackage: "2006", restored: "2007", noSuchVersion: "2008", notRestored: "2009", gameSaved: "2010", noName: "2011",
    notInstalled: "2012", noGameToRestore: "2013"
  };
  W.tell = function (code) { window.external.ShowMsgBox(code); };

  // A focused button or link takes Enter as a click; anywhere else Enter is the
  // page's default action. Escape is the page's way out.
  W.keys = function (onEnter, onEscape) {
    window.KeyPressed = function (key) {
      var active = document.activeElement;
      if (key === "VK_RETURN") {
        if (active && (active.tagName === "BUTTON" || active.tagName === "A")) active.click();
        else if (onEnter) onEnter();
      } else if (key === "VK_ESCAPE" && onEscape) {
        onEscape();
      }
    };
  };

  // A native path as an address an <img> can show.
  W.fileAddress = function (path) {
    if (!path || path.charAt(0) !== "/") return path;
    return "file://" + path.split("/").map(encodeURIComponent).join("/");
  };

  W.setNote = function (element, text, kind) {
    element.textContent = text;
    element.className = "note" + (kind ? " " + kind : "");
  };
})();
