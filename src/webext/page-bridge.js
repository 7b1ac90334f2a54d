// Script run in every frame when its window object is cleared, before any page
// script. It is a function expression taking:
//   call        the native call function, or null where the page gets no bridge
//   linkClicked the native function that records a clicked link
//   keyPressed  the native function that has the program run the page's
//               KeyPressed for Enter or Escape
//   names       the method names in member-ID order (null with call)
//   unknownName the HRESULT of an unknown member name
//   refusalName the name of the errors the native call throws for a refusal, whose
//               message is "<HRESULT>:<text>"
//   chosenFiles the native function that hands over the paths of the files just
//               chosen in the desktop's file chooser, or null where the page may
//               not know them
//   programNames window.wendrake's method names in member-ID order, or null where
//               the page gets no window.wendrake (any but the installation's own)
//   programBase the member ID before window.wendrake's first method
// Built-ins are captured first so that page script redefining them later does not
// change the bridge or the link walk.
(function (call, linkClicked, keyPressed, names, unknownName, refusalName, chosenFiles, programNames, programBase) {
  'use strict';
  const global = globalThis;
  const uncurry = (f) => Function.prototype.call.bind(f);
  const getter = (proto, name) => uncurry(Object.getOwnPropertyDescriptor(proto, name).get);
  const tagNameOf = getter(Element.prototype, 'tagName');
  const parentOf = getter(Node.prototype, 'parentElement');
  const targetOf = getter(Event.prototype, 'target');
  const anchorHref = getter(HTMLAnchorElement.prototype, 'href');
  const includes = uncurry(String.prototype.includes);
  const defineProperty = Object.defineProperty;
  const freeze = Object.freeze;
  const toNumber = Number;

  // The link walk: the innermost anchor whose resolved address holds "http".
  const hrefText = (element) => {
    try { return anchorHref(element); } catch (_) {}
    try { const href = element.href; return href == null ? '' : String(href); } catch (_) { return ''; }
  };
  global.addEventListener('click', (event) => {
    try {
      for (let element = targetOf(event); element; element = parentOf(element)) {
        const tag = tagNameOf(element);
        if (tag === 'a' || tag === 'A') {
          const href = hrefText(element);
          if (includes(href, 'http')) { linkClicked(href); return; }
        }
      }
    } catch (_) {}
  }, false);

  // Enter and Escape never reach the page: the program runs its KeyPressed for
  // them instead, here, after the keys typed before them. A key that ends an input
  // method's composition belongs to the input method.
  const keyOf = getter(KeyboardEvent.prototype, 'key');
  const composing = getter(KeyboardEvent.prototype, 'isComposing');
  const preventDefault = uncurry(Event.prototype.preventDefault);
  const stopImmediatePropagation = uncurry(Event.prototype.stopImmediatePropagation);
  global.addEventListener('keydown', (event) => {
    if (!event.isTrusted || composing(event)) return;
    const key = keyOf(event);
    const name = key === 'Enter' ? 'VK_RETURN' : key === 'Escape' ? 'VK_ESCAPE' : null;
    if (!name) return;
    preventDefault(event);
    stopImmediatePropagation(event);
    keyPressed(name);
  }, true);

  // A file input of an installation page gives its chosen file's full path as its
  // value, as trusted pages had it on Windows; every other page keeps the name only.
  if (chosenFiles) {
    const valueOf = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value');
    const getValue = uncurry(valueOf.get), setValue = uncurry(valueOf.set);
    const typeOf = getter(HTMLInputElement.prototype, 'type');
    const filesOf = getter(HTMLInputElement.prototype, 'files');
    const isInput = (node) => { try { typeOf(node); return true; } catch (_) { return false; } };
    const paths = new WeakMap();
    const mapGet = uncurry(WeakMap.prototype.get), mapSet = uncurry(WeakMap.prototype.set);
    const lastIndexOf = uncurry(String.prototype.lastIndexOf), slice = uncurry(String.prototype.slice);
    const record = (event) => {
      const input = targetOf(event);
      if (!isInput(input) || typeOf(input) !== 'file') return;
      const chosen = chosenFiles();
      if (chosen) mapSet(paths, input, chosen);
    };
    global.addEventListener('input', record, true);
    global.addEventListener('change', record, true);
    defineProperty(HTMLInputElement.prototype, 'value', {
      configurable: true,
      enumerable: valueOf.enumerable,
      get() {
        const own = getValue(this);
        if (typeOf(this) !== 'file') return own;
        const chosen = mapGet(paths, this);
        const files = filesOf(this);
        if (!chosen || !files || files.length === 0) return own;
        const first = chosen[0];
        return slice(first, lastIndexOf(first, '/') + 1) === files[0].name ? first : own;
      },
      set(value) { setValue(this, value); },
    });
  }

  if (!call) return;

  // Method names compare without regard to ASCII case, as the native table does.
  const asciiLower = (s) => s.replace(/[A-Z]+/g, (m) => m.toLowerCase());
  const ids = new Map();
  names.forEach((name, index) => ids.set(asciiLower(name), index + 1));

  const refusal = (code, text) => {
    const error = new Error(text);
    error.number = code;
    error.description = text;
    return error;
  };
  // Texts cross as UTF-8, where a lone surrogate has no form: it becomes U+FFFD.
  const wellFormed = String.prototype.toWellFormed
      ? ((isWell, toWell) => (s) => (isWell(s) ? s : toWell(s)))(uncurry(String.prototype.isWellFormed), uncurry(String.prototype.toWellFormed))
      : (s) => s;
  const apply = Reflect.apply;
  const method = (id, prefix) => function () {
    const values = [id];
    for (let i = 0; i < arguments.length; ++i) {
      const value = arguments[i];
      values.push(typeof value === 'string' ? wellFormed(value) : value);
    }
    try {
      return apply(call, undefined, values);
    } catch (e) {
      if (e instanceof Error && e.name === refusalName) {
        const colon = e.message.indexOf(':');
        throw refusal(toNumber(e.message.slice(0, colon)), prefix + ': ' + e.message.slice(colon + 1));
      }
      throw e;
    }
  };
  const methods = new Map();
  const external = new Proxy(Object.create(null), {
    get(target, property) {
      if (typeof property !== 'string') return undefined;
      let fn = methods.get(property);
      if (fn) return fn;
      const id = ids.get(asciiLower(property));
      if (id === undefined) throw refusal(unknownName, 'window.external.' + property + ': DISP_E_UNKNOWNNAME');
      fn = method(id, 'window.external.' + property);
      methods.set(property, fn);
      return fn;
    },
    has(target, property) { return typeof property === 'string' && ids.has(asciiLower(property)); },
    set() { return false; },
    defineProperty() { return false; },
    deleteProperty() { return false; },
  });
  defineProperty(global, 'external', { value: external, enumerable: true, configurable: false, writable: false });

  // window.wendrake: snapshots of add-ons, listed as objects and put back.
  if (programNames) {
    const programMethod = (name) => {
      const index = programNames.indexOf(name);
      return index < 0 ? null : method(programBase + index + 1, 'window.wendrake.' + name);
    };
    const getSnapshots = programMethod('GetSnapshots'), restoreSnapshot = programMethod('RestoreSnapshot');
    const fields = 6;
    const wendrake = freeze({
      // [{id, folder, taken (a Date's milliseconds), pid, version}], newest first;
      // pid and version are null for an add-on that had no catalogue item.
      GetSnapshots() {
        const flat = apply(getSnapshots, undefined, arguments);
        const list = [];
        for (let i = 0; i + fields <= flat.length; i += fields) {
          const hasItem = flat[i + 3] === '1';
          list[list.length] = freeze({
            id: flat[i], folder: flat[i + 1], taken: toNumber(flat[i + 2]),
            pid: hasItem ? flat[i + 4] : null, version: hasItem ? flat[i + 5] : null,
          });
        }
        return list;
      },
      // 1 restored; 0 no such snapshot of that add-on; -1 the game's add-on folder
      // is unknown; -2 it could not be put back and nothing changed.
      RestoreSnapshot() { return apply(restoreSnapshot, undefined, arguments); },
    });
    defineProperty(global, 'wendrake', { value: wendrake, enumerable: true, configurable: false, writable: false });
  }

  // Pages written for the Windows browser wrap array results in VBArray.
  if (typeof global.VBArray === 'undefined') {
    const outOfRange = () => new RangeError('Subscript out of range');
    const checkDimension = (dimension) => {
      if (dimension !== undefined && Number(dimension) !== 1) throw outOfRange();
    };
    class VBArray {
      #items;
      constructor(safeArray) {
        if (safeArray instanceof VBArray) safeArray = safeArray.toArray();
        if (!Array.isArray(safeArray)) throw new TypeError('VBArray expected');
        this.#items = Array.prototype.slice.call(safeArray);
      }
      toArray() { return this.#items.slice(); }
      getItem(index) {
        if (arguments.length !== 1) throw outOfRange();
        const i = Number(index);
        if (!Number.isInteger(i) || i < 0 || i >= this.#items.length) throw outOfRange();
        return this.#items[i];
      }
      lbound(dimension) { checkDimension(dimension); return 0; }
      ubound(dimension) { checkDimension(dimension); return this.#items.length - 1; }
      dimensions() { return 1; }
    }
    defineProperty(global, 'VBArray', { value: VBArray, enumerable: false, configurable: true, writable: true });
  }
})
