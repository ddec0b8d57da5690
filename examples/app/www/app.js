// The sample page: one call to the "Echo" service over each channel of the
// bridge, in turn, each checked against its answer.
(function () {
    var channels = [
        { name: 'hybrid-scheme', mode: hybrid.exec.bridgeModes.HYBRID_SCHEME },
        { name: 'fragment', mode: hybrid.exec.bridgeModes.FRAGMENT },
        { name: 'xhr', mode: hybrid.exec.bridgeModes.XHR }
    ];
    var answered = 0;

    function tryChannel(index) {
        if (index >= channels.length) {
            console.log('sample app: ' + (answered === channels.length ? 'ready' : 'not ready'));
            deviceChecks();
            return;
        }
        var channel = channels[index];
        var token = 'hello over ' + channel.name;
        var settled = false;
        function settle(outcome) {
            if (settled) return;
            settled = true;
            console.log('poke ' + channel.name + ': ' + outcome);
            tryChannel(index + 1);
        }
        hybrid.exec.setJsToNativeBridgeMode(channel.mode);
        hybrid.exec(function (message) {
            if (message && message[0] === token) {
                answered++;
                settle('ok');
            } else {
                settle('failed unexpected answer ' + JSON.stringify(message));
            }
        }, function (error) {
            settle('failed ' + JSON.stringify(error));
        }, 'Echo', 'echo', [token]);
        setTimeout(function () { settle('failed no answer within 5 s'); }, 5000);
    }

    document.addEventListener('deviceready', function () { tryChannel(0); }, false);
})();

// The account and its gesture password. The app shell asks nickname() and
// passcode() when the app comes back to the foreground, and shows the lock
// when both answer something.
var account = { name: 'demo', passcode: '' };

function nickname() { return account.name; }
function passcode() { return account.passcode; }
function logout() {
    account.passcode = '';
    console.log('lock: logged out');
}

// Draw a new gesture password twice on the lock screen.
function setGesturePassword() {
    hybrid.exec(function (pattern) {
        account.passcode = pattern;
        console.log('lock: pattern set ' + pattern);
    }, function (error) {
        console.log('lock: setting the pattern failed ' + JSON.stringify(error));
    }, 'LockPattern', 'showSecurityGrid', [account.name, null, '0']);
}

// The lock the app shell shows answers with no callback of ours.
(function () {
    var callbackSuccess = hybrid.callbackSuccess;
    hybrid.callbackSuccess = function (callbackId, result) {
        if (!hybrid.callbacks[callbackId]) {
            console.log('lock: unlocked' + (result && result.message ? ' with pattern ' + result.message : ''));
        }
        return callbackSuccess(callbackId, result);
    };
})();

// The device plugins, each answer printed as it comes back.
function failure(what) {
    return function (error, status) { console.log(what + ': failed ' + status + ' ' + JSON.stringify(error)); };
}

function deviceChecks() {
    hybrid.exec(null, null, 'StatusBar', '_ready', []);
    hybrid.exec(null, null, 'Logger', 'logLevel', ['LOG', 'sample app: hello from the page']);
    hybrid.exec(function (info) {
        console.log('device: ' + JSON.stringify(info));
    }, failure('device'), 'Device', 'getDeviceInfo', []);
    hybrid.exec(function (type) {
        connectionReports.push(type);
        console.log('connection: ' + type);
    }, failure('connection'), 'NetworkStatus', 'getConnectionInfo', []);
}

// Every report of the connection plugin, which keeps its callback.
var connectionReports = [];
function printConnectionReports() {
    console.log('connection reports: ' + connectionReports.join(','));
}

// The status bar plugin keeps StatusBar.isVisible up to date.
var StatusBar = { isVisible: true };
function statusBar(action, args) {
    hybrid.exec(null, failure('status bar ' + action), 'StatusBar', action, args || []);
    hybrid.exec(function () {
        console.log('status bar: ' + action + ' done, visible ' + StatusBar.isVisible);
    }, null, 'Echo', 'echo', []);
}

function splashScreen(action) {
    hybrid.exec(null, failure('splash screen ' + action), 'SplashScreen', action, []);
}
