// The page's browser tests, on the system's Chromium (no browser download).
const { defineConfig } = require('@playwright/test');

module.exports = defineConfig({
  testDir: './tests',
  timeout: 60000,
  workers: 2,
  // Tests, not files, are shared out, so a file of long tests does not hold one worker.
  fullyParallel: true,
  reporter: [['list']],
  outputDir: process.env.COOKER_PANEL_TEST_OUTPUT || '../build/web-test-results',
  use: {
    browserName: 'chromium',
    launchOptions: {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      // Root on a machine without a user namespace, and no calls home.
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
             '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    },
    acceptDownloads: true,
  },
});
