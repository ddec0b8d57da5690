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

// The app shell hands the page every URL the app is opened with.
function handleOpenURL(url) {
    console.log('sample app: opened ' + url);
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

// Geolocation: one position, or a watch that hears every new one.
function printPosition(label) {
    return function (p) {
        console.log(label + ': ' + p.latitude.toFixed(5) + ',' + p.longitude.toFixed(5) + ' accuracy ' +
                    p.accuracy + ' m at ' + new Date(p.timestamp).toISOString());
    };
}

function getPosition(highAccuracy) {
    hybrid.exec(printPosition('position'), failure('position'), 'Geolocation', 'getLocation', [!!highAccuracy]);
}

function watchPosition(watchId) {
    hybrid.exec(printPosition('watch ' + watchId), failure('watch ' + watchId), 'Geolocation', 'addWatch',
                [watchId, true]);
}

function clearWatch(watchId) {
    hybrid.exec(null, null, 'Geolocation', 'clearWatch', [watchId]);
    hybrid.exec(function () { console.log('watch ' + watchId + ': cleared'); }, null, 'Echo', 'echo', []);
}

// The camera: quality, destination (0 base64, 1 file URL, 2 library URL),
// source (0 library, 1 camera, 2 saved album), target width and height,
// encoding (0 JPEG, 1 PNG), media type, allow edit, correct orientation,
// save to album.
function takePicture(options) {
    var o = options || {};
    hybrid.exec(function (result) {
        var text = String(result);
        console.log('camera: ' + (o.destination === 0 ? 'base64 image of ' + text.length + ' characters, ' +
                                   text.substring(0, 12) + '…' : text));
    }, function (error) {
        console.log('camera: failed ' + JSON.stringify(error));
    }, 'Camera', 'takePicture', [o.quality, o.destination, o.source, o.width, o.height, o.encoding, o.mediaType,
                                 o.allowEdit, o.correctOrientation, o.saveToAlbum]);
}

function cleanupPictures() {
    hybrid.exec(function () { console.log('camera: cleanup ok'); }, failure('camera cleanup'), 'Camera', 'cleanup',
                []);
}

// The card scanner: the number comes back to the success callback; a cancel
// never calls back. The page logs only the last four digits.
function scanCard(expected) {
    hybrid.exec(function (number) {
        var digits = String(number);
        console.log('scan: received card ending ' + digits.slice(-4));
        if (expected && digits === String(expected)) console.log('scan: number matches');
    }, failure('scan'), 'CardScanner', 'scanCard', []);
}
