// The main page: the player, the game, the skins, and the add-on manager.
(function () {
  "use strict";
  var external = window.external;
  // The program's own object: earlier versions of add-ons. Absent in hosts without it.
  var program = window.wendrake;
  var rows = document.getElementById("addons"), status = document.getElementById("status");
  // Installations waiting for UnzipFinished, by tag.
  var pending = {};
  var nextTag = 1;

  window.SetUserInfo = function (user, image) {
    document.getElementById("user").textContent = user;
    document.getElementById("picture").src = Wendrake.fileAddress(image);
  };

  function items(xml) {
    var found = [];
    if (!xml) return found;
    var document = new DOMParser().parseFromString(xml, "application/xml");
    var list = document.getElementsByTagName("item");
    for (var i = 0; i < list.length; i++) {
      var item = list[i];
      if (!item.getAttribute("pid")) continue;
      found.push({
        pid: item.getAttribute("pid"), ver: item.getAttribute("ver") || "", folder: item.getAttribute("PlugName") || "",
        name: item.getAttribute("name") || item.getAttribute("PlugName") || item.getAttribute("pid")
      });
    }
    return found;
  }
  function read(name) {
    return fetch("wendrake-data:///" + name).then(function (r) { return r.ok ? r.text() : ""; }, function () { return ""; });
  }

  // Both catalogues, after GetExistPlugin has dropped items whose folder is gone.
  function refresh() {
    external.GetExistPlugin();
    return Promise.all([read("update.xml"), read("update_info.xml")]).then(function (texts) {
      render(items(texts[0]), items(texts[1]));
    });
  }

  // The kept earlier versions of each add-on folder (lower case), newest first.
  function earlierVersions() {
    var byFolder = {};
    if (!program) return byFolder;
    program.GetSnapshots("").forEach(function (snapshot) {
      var key = snapshot.folder.toLowerCase();
      (byFolder[key] = byFolder[key] || []).push(snapshot);
    });
    return byFolder;
  }
  function versionText(snapshot) {
    var when = new Date(snapshot.taken).toLocaleString("zh-CN", { hour12: false });
    return (snapshot.version !== null ? "版本 " + (snapshot.version || "—") : "未登记版本") + "，" + when + " 保存";
  }

  function button(text, label, action) {
    var b = document.createElement("button");
    b.textContent = text;
    b.setAttribute("aria-label", label);
    b.addEventListener("click", action);
    return b;
  }
  function cell(row, text, className) {
    var td = document.createElement("td");
    td.textContent = text;
    if (className) td.className = className;
    row.appendChild(td);
    return td;
  }

  function render(offered, installed) {
    var byPid = {};
    installed.forEach(function (item) { byPid[item.pid] = item; });
    var entries = offered.map(function (item) { return { offer: item, have: byPid[item.pid] }; });
    installed.forEach(function (item) {
      if (!offered.some(function (o) { return o.pid === item.pid; })) entries.push({ offer: null, have: item });
    });
    // Add-ons removed for good keep a row while earlier versions of them are kept.
    var versions = earlierVersions();
    var listed = {};
    entries.forEach(function (entry) { listed[(entry.have || entry.offer).folder.toLowerCase()] = true; });
    Object.keys(versions).forEach(function (key) {
      if (!listed[key]) entries.push({ offer: null, have: null, removed: versions[key][0].folder });
    });
    rows.textContent = "";
    if (!entries.length) {
      var empty = document.createElement("tr");
      cell(empty, "还没有插件。可以安装本地插件包。").colSpan = 5;
      rows.appendChild(empty);
    }
    entries.forEach(function (entry, index) {
      var row = document.createElement("tr");
      var known = entry.offer || entry.have;
      var name = known ? known.name : entry.removed;
      var folder = known ? known.folder : entry.removed;
      cell(row, name);
      cell(row, entry.have ? entry.have.ver : "—");
      cell(row, entry.offer ? entry.offer.ver : "—");
      var newer = entry.have && entry.offer && external.ComparePluginVer(entry.have.pid, entry.offer.ver) === 1;
      var state = entry.removed ? "已删除" : !entry.have ? "未安装" : newer ? "有新版本" : entry.offer ? "已是最新" : "本地插件";
      cell(row, state, "state" + (newer ? " newer" : ""));
      var actions = cell(row, "", "actions-cell");
      if (!entry.have && entry.offer) actions.appendChild(button("安装", "安装 " + name, function () { install(entry.offer, entry.offer.folder, false); }));
      if (newer) actions.appendChild(button("更新", "更新 " + name, function () { install(entry.offer, entry.offer.folder, true); }));
      if (entry.have) actions.appendChild(button("删除", "删除 " + name, function () { remove(entry.have, name); }));
      rows.appendChild(row);
      var kept = versions[folder.toLowerCase()];
      if (kept) actions.appendChild(versionsToggle(row, "versions-" + index, name, kept));
    });
  }

  // "Earlier versions": opens a row under the add-on's with one restore button per kept version.
  function versionsToggle(row, id, name, kept) {
    var toggle = button("早期版本", name + " 的早期版本", function () {
      var open = document.getElementById(id);
      if (open) {
        open.parentNode.removeChild(open);
        toggle.setAttribute("aria-expanded", "false");
        return;
      }
      var list = document.createElement("tr");
      list.id = id;
      list.className = "versions";
      var td = cell(list, "");
      td.colSpan = 5;
      kept.forEach(function (snapshot) {
        var line = document.createElement("div");
        var text = document.createElement("span");
        text.textContent = versionText(snapshot);
        line.appendChild(text);
        line.appendChild(button("恢复", "恢复 " + name + "：" + versionText(snapshot), function () { restore(snapshot, name); }));
        td.appendChild(line);
      });
      row.parentNode.insertBefore(list, row.nextSibling);
      toggle.setAttribute("aria-expanded", "true");
    });
    toggle.setAttribute("aria-expanded", "false");
    toggle.setAttribute("aria-controls", id);
    return toggle;
  }

  // What the restore replaces is kept as an earlier version in its turn.
  function restore(snapshot, name) {
    var result = program.RestoreSnapshot(snapshot.folder, snapshot.id);
    if (result === 1) {
      Wendrake.setNote(status, "已恢复：" + name + (snapshot.version ? "（版本 " + snapshot.version + "）" : ""), "good");
      Wendrake.tell(Wendrake.codes.restored);
    } else {
      Wendrake.tell(result === 0 ? Wendrake.codes.noSuchVersion : result === -1 ? Wendrake.codes.noGameToRestore : Wendrake.codes.notRestored);
    }
    return refresh();
  }

  // The package `packageName` lies in Temp; once it is unpacked, the add-on is
  // catalogued as `item` (pid, ver, folder).
  function install(item, packageName, update) {
    var tag = "t" + nextTag++;
    pending[tag] = { item: item, update: update, catalogued: false };
    var result = external.UnzipPlugin(tag, packageName);
    var done = pending[tag];
    delete pending[tag];
    if (result === 1 && done.catalogued) {
      Wendrake.setNote(status, (update ? "已更新：" : "已安装：") + item.name, "good");
      Wendrake.tell(update ? Wendrake.codes.updated : Wendrake.codes.installed);
    } else if (result === 1) {
      Wendrake.tell(Wendrake.codes.notCatalogued);
    } else {
      // The program has said why (1004 to 1006).
      Wendrake.setNote(status, "安装失败：" + item.name + "（结果 " + result + "）", "bad");
    }
    return refresh();
  }

  window.UnzipFinished = function (tag) {
    var job = pending[tag];
    if (!job) return;
    var item = job.item;
    job.catalogued = external.IsExistPlugin(item.pid) === 1 ? external.SetLocalPluginVer(item.pid, item.ver) === 1
                                                            : external.AddPlugin(item.pid, item.ver, item.folder) === 1;
  };

  function remove(item, name) {
    if (external.RemovePlugfolder(item.folder, item.pid) === 1) {
      Wendrake.setNote(status, "已删除：" + name, "good");
      var undo = offerUndo(item.folder, name);
      Wendrake.tell(Wendrake.codes.removed);
      // The removed row's button is gone; the keyboard goes on where it can undo.
      if (undo) undo.focus();
    } else {
      Wendrake.tell(Wendrake.codes.notRemoved);
    }
    refresh();
  }
  // The removal's own snapshot is that add-on's newest: putting it back undoes the removal.
  function offerUndo(folder, name) {
    var kept = program ? program.GetSnapshots(folder) : [];
    if (!kept.length) return null;
    var undo = button("撤销", "撤销删除 " + name, function () { restore(kept[0], name); });
    undo.className = "quiet undo";
    status.appendChild(undo);
    return undo;
  }

  // A package the player chose: the program has put it in Temp under its own
  // name. It is catalogued under the offered add-on of the same folder, or under a
  // pid of its own that no product id can take.
  function installChosen(file) {
    var packageName = file.name.replace(/\.zip$/i, "");
    return JSZip.loadAsync(file).then(function (zip) {
      var folders = {};
      Object.keys(zip.files).forEach(function (path) {
        var top = path.split(/[\\/]/)[0];
        if (path.indexOf("/") > 0 && top !== "__MACOSX") folders[top] = true;
      });
      var names = Object.keys(folders);
      if (!names.length) return Wendrake.tell(Wendrake.codes.noAddOnInPackage);
      return read("update.xml").then(function (xml) {
        var folder = names[0];
        var offer = items(xml).filter(function (item) { return item.folder.toLowerCase() === folder.toLowerCase(); })[0];
        var item = offer || { pid: "local-" + folder, ver: "local", folder: folder, name: folder };
        return install(item, packageName, external.IsExistPlugin(item.pid) === 1);
      });
    }, function () { Wendrake.tell(Wendrake.codes.noAddOnInPackage); });
  }
  var packageInput = document.getElementById("package");
  packageInput.addEventListener("change", function () {
    if (packageInput.files.length) installChosen(packageInput.files[0]).then(function () { packageInput.value = ""; });
  });

  // The game.
  function showGame() {
    document.getElementById("game-state").textContent = external.IsExistGamePath() === 1 ? "游戏位置已设置。" : "尚未设置游戏位置，开始游戏时会询问。";
  }
  document.getElementById("start").addEventListener("click", function () { external.RunGame(); showGame(); });
  var gameInput = document.getElementById("game-browse");
  // Without a location the program's own dialog asks for it; a known one is
  // changed in the file chooser, which opens where the game is.
  document.getElementById("game-location").addEventListener("click", function () {
    if (external.IsExistGamePath() === 1) gameInput.click();
    else external.SelectGamePath(0);
    showGame();
  });
  gameInput.addEventListener("change", function () {
    var path = gameInput.value;
    if (!path) return;
    external.SelectGameOK(path, 0);
    if (path.indexOf("riftpatchchinese.exe") >= 0) Wendrake.tell(Wendrake.codes.gameSaved);
    gameInput.value = "";
    showGame();
  });

  // Skins: applied at once, kept for the next start.
  var skinButtons = document.querySelectorAll("[data-skin]");
  function markSkin(n) {
    for (var i = 0; i < skinButtons.length; i++) skinButtons[i].setAttribute("aria-pressed", String(skinButtons[i].getAttribute("data-skin") === String(n)));
  }
  for (var i = 0; i < skinButtons.length; i++) {
    skinButtons[i].addEventListener("click", function (event) {
      var n = Number(event.currentTarget.getAttribute("data-skin"));
      external.ChangeSkin(String(n));
      Wendrake.applySkin(n);
      markSkin(n);
    });
  }
  markSkin(Wendrake.skin());

  document.getElementById("minimize").addEventListener("click", function () { external.Minimize(); });
  document.getElementById("close").addEventListener("click", function () { external.CloseWindow(); });
  document.getElementById("refresh").addEventListener("click", refresh);
  document.getElementById("version").textContent = external.GetLocalProgVer() || "—";
  Wendrake.keys(null, null);
  showGame();
  refresh();
})();
