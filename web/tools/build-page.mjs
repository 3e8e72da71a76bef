// Builds the page's folder of static files, and the page as one file:
//   node build-page.mjs --wasm kestrane.wasm --npm NPM_DIR --src web/src --out build-web/web \
//        --single build-web/kestrane.html
// app.js is web/src/main.js bundled with its modules and uPlot into one classic script, with
// the WebAssembly module embedded as base64, so the page needs no fetch and opens from disk
// (file://) as well as from any static host. index.html, style.css and uPlot's style sheet and
// licence are copied beside it. The single file is index.html with the style sheets and the
// script inlined (the favicon is inline already): it works alone, mailed or on a stick. NPM_DIR
// holds the node_modules that `npm ci` installed.
import { copyFile, mkdir, readFile, rm, writeFile } from "node:fs/promises";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { parseArgs } from "node:util";

const { values: args } = parseArgs({
  options: {
    wasm: { type: "string" },
    npm: { type: "string" },
    src: { type: "string" },
    out: { type: "string" },
    single: { type: "string" },
  },
});
for (const name of ["wasm", "npm", "src", "out", "single"]) {
  if (!args[name]) throw new Error(`build-page.mjs: --${name} is required`);
}

const nodeModules = path.join(args.npm, "node_modules");
const esbuild = await import(pathToFileURL(path.join(nodeModules, "esbuild/lib/main.js")).href);
const wasm = await readFile(args.wasm);

// `import moduleBase64 from "kestrane:module"` gives the module's bytes as base64.
const embedModule = {
  name: "kestrane-module",
  setup(build) {
    build.onResolve({ filter: /^kestrane:module$/ }, (resolve) => ({
      path: resolve.path,
      namespace: "kestrane-module",
    }));
    build.onLoad({ filter: /.*/, namespace: "kestrane-module" }, () => ({
      contents: `export default ${JSON.stringify(wasm.toString("base64"))};`,
      loader: "js",
    }));
  },
};

await rm(args.out, { recursive: true, force: true });
await mkdir(args.out, { recursive: true });
await esbuild.build({
  entryPoints: [path.join(args.src, "main.js")],
  bundle: true,
  format: "iife",
  target: ["es2022"],
  minify: true,
  legalComments: "inline",
  nodePaths: [nodeModules],
  plugins: [embedModule],
  outfile: path.join(args.out, "app.js"),
  logLevel: "warning",
});
for (const file of ["index.html", "style.css"]) {
  await copyFile(path.join(args.src, file), path.join(args.out, file));
}
await copyFile(
  path.join(nodeModules, "uplot/dist/uPlot.min.css"),
  path.join(args.out, "uPlot.min.css"),
);
await copyFile(path.join(nodeModules, "uplot/LICENSE"), path.join(args.out, "uPlot-LICENSE.txt"));

// The single file: the style sheets in <style> elements where their links stood, the script
// at the end of the body (an inline script cannot be deferred). "</" in the script or the
// styles could end their element early, so it is written "<\/", the same text in JavaScript
// strings and regular expressions; the style sheets hold none.
const read = (file) => readFile(path.join(args.out, file), "utf8");
const page = await read("index.html");
const script = (await read("app.js")).replaceAll("</", "<\\/");
if (script.includes("<!--")) throw new Error('app.js holds "<!--", which an inline script cannot');
let single = page;
for (const sheet of ["uPlot.min.css", "style.css"]) {
  const css = await read(sheet);
  if (css.includes("</")) throw new Error(`${sheet} holds "</"`);
  const link = `<link rel="stylesheet" href="${sheet}" />`;
  single = single.replace(link, () => `<style>\n${css}</style>`);
}
single = single.replace(/\s*<script src="app.js" defer><\/script>/, "");
single = single.replace("</body>", () => `<script>\n${script}</script>\n  </body>`);
for (const reference of ['href="uPlot.min.css"', 'href="style.css"', 'src="app.js"']) {
  if (single.includes(reference)) throw new Error(`the single file still refers to ${reference}`);
}
await writeFile(args.single, single);
